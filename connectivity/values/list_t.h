// A host-owned list of values. The library walks, compares, hashes and releases
// lists but never allocates one: the host offers it no way to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "connectivity/values/data_t.h"
#include "connectivity/values/iterator_checks.h"
#include "connectivity/values/value_errors.h"
#include "host/vlm_abi.h"

namespace com::velmora::connectivity10_15_4 {

class list_t {
    template <bool Const> class basic_iterator;

public:
    using iterator = basic_iterator<false>;
    using const_iterator = basic_iterator<true>;

    list_t() noexcept : list_(nullptr) {}
    list_t(const list_t&) = delete;
    list_t& operator=(const list_t&) = delete;
    list_t(list_t&& other) noexcept : list_(other.list_) { other.list_ = nullptr; }
    list_t& operator=(list_t&& other) noexcept;
    ~list_t();

    static list_t adopt(vlm_list_t* list) noexcept;
    vlm_list_t* release() noexcept;
    vlm_list_t* record() const noexcept { return list_; }

    std::size_t size() const noexcept { return list_ == nullptr ? 0 : list_->count; }
    bool empty() const noexcept { return size() == 0; }

    iterator begin() noexcept;
    iterator end() noexcept;
    const_iterator begin() const noexcept;
    const_iterator end() const noexcept;

    bool operator==(const list_t& other) const;
    bool operator!=(const list_t& other) const { return !(*this == other); }

private:
    data_t* items() const noexcept
    {
        return list_ == nullptr ? nullptr : reinterpret_cast<data_t*>(vlm_list_items(list_));
    }

    vlm_list_t* list_;
};
static_assert(sizeof(list_t) == sizeof(void*), "a list is exactly one payload word");

template <bool Const> class list_t::basic_iterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = data_t;
    using difference_type = std::ptrdiff_t;
    using reference = std::conditional_t<Const, const data_t&, data_t&>;
    using pointer = std::conditional_t<Const, const data_t*, data_t*>;
    using owner_type = std::conditional_t<Const, const list_t, list_t>;

    basic_iterator(owner_type* owner, data_t* position) noexcept
        : owner_(owner), position_(position), count_(owner->size())
    {}

    reference operator*() const
    {
        check();
        return *position_;
    }
    pointer operator->() const { return &**this; }
    basic_iterator& operator++()
    {
        check();
        ++position_;
        return *this;
    }
    bool operator==(const basic_iterator& other) const
    {
        check();
        return position_ == other.position_;
    }
    bool operator!=(const basic_iterator& other) const { return !(*this == other); }

private:
    // Only the count is compared: replacing an item in place keeps iterators valid.
    void check() const
    {
        if (owner_->size() != count_)
            reportIteratorFault(errors::listIteratorInvalidated);
    }

    owner_type* owner_;
    data_t* position_;
    std::size_t count_;
};

inline list_t::iterator list_t::begin() noexcept
{
    return iterator(this, items());
}
inline list_t::iterator list_t::end() noexcept
{
    return iterator(this, items() + size());
}
inline list_t::const_iterator list_t::begin() const noexcept
{
    return const_iterator(this, items());
}
inline list_t::const_iterator list_t::end() const noexcept
{
    return const_iterator(this, items() + size());
}

// A host-owned byte buffer; a null record has length 0.
class buffer_t {
public:
    buffer_t() noexcept : buffer_(nullptr) {}
    buffer_t(const buffer_t&) = delete;
    buffer_t& operator=(const buffer_t&) = delete;
    ~buffer_t();

    std::size_t length() const noexcept { return buffer_ == nullptr ? 0 : buffer_->length; }
    const std::uint8_t* bytes() const noexcept
    {
        return buffer_ == nullptr ? nullptr : vlm_buffer_bytes(buffer_);
    }

    bool operator==(const buffer_t& other) const;

private:
    vlm_buffer_t* buffer_;
};
static_assert(sizeof(buffer_t) == sizeof(void*), "a buffer is exactly one payload word");

// A host-owned object the library only holds and releases.
class custom_t {
public:
    custom_t() noexcept : custom_(nullptr) {}
    custom_t(const custom_t&) = delete;
    custom_t& operator=(const custom_t&) = delete;
    ~custom_t();

    void* object() const noexcept { return custom_; }

private:
    void* custom_;
};
static_assert(sizeof(custom_t) == sizeof(void*), "a custom value is exactly one payload word");

} // namespace com::velmora::connectivity10_15_4
