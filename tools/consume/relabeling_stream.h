// The layer between the websocket stream and the socket (or TLS): incoming text frames
// are relabeled binary, outgoing frames may be gathered into one socket write.
#pragma once

#include <boost/asio/compose.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket/teardown.hpp>

#include <string>
#include <utility>
#include <vector>

#include "tools/consume/text_frame_relabeler.h"

namespace consume {

namespace beast = boost::beast;
namespace net = boost::asio;

// Passes the bytes of the next layer through a TextFrameRelabeler on their way in. On their way out,
// writes made while held gather, and go with the next write made while not held, in one socket write.
// The websocket stream writes one frame at a time, its pings, pongs and close included, so a gathered
// buffer only ever holds whole frames in their order.
template <class Next> class TextAsBinaryStream {
public:
    static constexpr size_t aheadBytes = 64 * 1024;

    using executor_type = typename Next::executor_type;

    template <class... Arguments>
    explicit TextAsBinaryStream(Arguments&&... arguments) : next_(std::forward<Arguments>(arguments)...)
    {}

    executor_type get_executor() noexcept { return next_.get_executor(); }
    Next& next_layer() noexcept { return next_; }
    const Next& next_layer() const noexcept { return next_; }

    template <class Buffers, class Handler> auto async_read_some(const Buffers& buffers, Handler&& handler)
    {
        return net::async_compose<Handler, void(beast::error_code, size_t)>(ReadSome<Buffers>{*this, buffers},
                                                                            handler, next_);
    }

    template <class Buffers, class Handler> auto async_write_some(const Buffers& buffers, Handler&& handler)
    {
        return net::async_compose<Handler, void(beast::error_code, size_t)>(
            WriteSome<Buffers>{*this, buffers}, handler, next_);
    }

    void hold(bool held) { held_ = held; }
    // Grows with every byte read: a sign of life.
    uint64_t bytesRead() const { return bytesRead_; }

private:
    template <class Buffers> struct WriteSome {
        enum class Step { Start, Gathered, Flushed, Passed };
        TextAsBinaryStream& stream;
        Buffers buffers;
        Step step = Step::Start;

        template <class Self> void operator()(Self& self, beast::error_code error = {}, size_t size = 0)
        {
            switch (step) {
            case Step::Start:
                break;
            case Step::Gathered:
                return self.complete(error, net::buffer_size(buffers));
            case Step::Flushed:
                stream.gathered_.clear();
                return self.complete(error, error ? 0 : net::buffer_size(buffers));
            case Step::Passed:
                return self.complete(error, size);
            }
            if (!stream.held_ && stream.gathered_.empty()) {
                step = Step::Passed;
                return stream.next_.async_write_some(buffers, std::move(self));
            }
            const size_t at = stream.gathered_.size();
            stream.gathered_.resize(at + net::buffer_size(buffers));
            net::buffer_copy(net::buffer(&stream.gathered_[at], stream.gathered_.size() - at), buffers);
            if (stream.held_) {
                step = Step::Gathered;
                return net::post(stream.next_.get_executor(), beast::bind_front_handler(std::move(self)));
            }
            step = Step::Flushed;
            net::async_write(stream.next_, net::buffer(stream.gathered_), std::move(self));
        }
    };

    // The websocket stream reads through a small buffer of its own; reading ahead here takes many frames
    // per socket read, and hands them on from memory.
    template <class Buffers> struct ReadSome {
        enum class Step { Start, Read, Buffered };
        TextAsBinaryStream& stream;
        Buffers buffers;
        Step step = Step::Start;

        template <class Self> void operator()(Self& self, beast::error_code error = {}, size_t size = 0)
        {
            if (step == Step::Start) {
                if (stream.aheadFrom_ == stream.aheadTo_) {
                    step = Step::Read;
                    return stream.next_.async_read_some(net::buffer(stream.ahead_), std::move(self));
                }
                step = Step::Buffered;
                return net::post(stream.next_.get_executor(), beast::bind_front_handler(std::move(self)));
            }
            if (step == Step::Read) {
                stream.bytesRead_ += size;
                stream.relabeler_.pass(stream.ahead_.data(), size);
                stream.aheadFrom_ = 0;
                stream.aheadTo_ = size;
                if (size == 0)
                    return self.complete(error, 0);
            }
            const size_t handed =
                net::buffer_copy(buffers, net::buffer(stream.ahead_.data() + stream.aheadFrom_,
                                                      stream.aheadTo_ - stream.aheadFrom_));
            stream.aheadFrom_ += handed;
            self.complete({}, handed);
        }
    };

    Next next_;
    TextFrameRelabeler relabeler_;
    bool held_ = false;
    std::string gathered_;
    uint64_t bytesRead_ = 0;
    std::vector<unsigned char> ahead_ = std::vector<unsigned char>(aheadBytes);
    size_t aheadFrom_ = 0; // what is read but not yet handed on: ahead_[aheadFrom_, aheadTo_)
    size_t aheadTo_ = 0;
};

template <class Next, class Handler>
void async_teardown(beast::role_type role, TextAsBinaryStream<Next>& stream, Handler&& handler)
{
    using beast::websocket::async_teardown;
    async_teardown(role, stream.next_layer(), std::forward<Handler>(handler));
}

template <class Next>
void teardown(beast::role_type role, TextAsBinaryStream<Next>& stream, beast::error_code& error)
{
    using beast::websocket::teardown;
    teardown(role, stream.next_layer(), error);
}

} // namespace consume
