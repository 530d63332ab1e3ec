#include "connectivity/values/list_t.h"

#include <cstring>
#include <utility>

#include "host/vlm_host.h"

namespace com::velmora::connectivity10_15_4 {

list_t& list_t::operator=(list_t&& other) noexcept
{
    list_t taken(std::move(other));
    std::swap(list_, taken.list_);
    return *this;
}

list_t::~list_t()
{
    vlm_free_vector(list_);
}

list_t list_t::adopt(vlm_list_t* list) noexcept
{
    list_t result;
    result.list_ = list;
    return result;
}

vlm_list_t* list_t::release() noexcept
{
    vlm_list_t* list = list_;
    list_ = nullptr;
    return list;
}

bool list_t::operator==(const list_t& other) const
{
    if (size() != other.size())
        return false;
    const_iterator right = other.begin();
    for (const data_t& item : *this) {
        if (!(item == *right))
            return false;
        ++right;
    }
    return true;
}

buffer_t::~buffer_t()
{
    vlm_free_buffer(buffer_);
}

bool buffer_t::operator==(const buffer_t& other) const
{
    return length() == other.length() &&
           (length() == 0 || std::memcmp(bytes(), other.bytes(), length()) == 0);
}

custom_t::~custom_t()
{
    vlm_free_custom(custom_);
}

} // namespace com::velmora::connectivity10_15_4
