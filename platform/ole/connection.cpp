#include "platform/ole/connection.h"

#include <poll.h>
#include <sys/socket.h>

#include <thread>

#include "platform/os/environment.h"

namespace comrt {
namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

std::chrono::milliseconds callback_timeout() {
    return milliseconds_setting("COMRT_CALLBACK_TIMEOUT_MS", std::chrono::seconds(30));
}

Connection::Connection(unique_fd fd, Side side, MessageAssembler* incoming)
    : fd_(std::move(fd)), side_(side), incoming_(incoming), callback_timeout_(callback_timeout()) {
    if (incoming_ == nullptr)
        incoming_ = &own_incoming_.emplace(nullptr, [] {});
}

Connection::~Connection() {
    stubs_.clear();
}

void Connection::close() {
    std::lock_guard guard(lock_);
    lose();
    fd_.reset();
}

void Connection::lose() {
    std::lock_guard guard(lock_);
    if (!connected_.exchange(false))
        return;
    pending_.reset();
    deferred_.clear();
    if (fd_)
        ::shutdown(fd_.get(), SHUT_RDWR);  // the peer and the message loop see it closed
    stubs_.clear();
}

Clock::time_point Connection::deadline() const {
    // The server never waits for ever on a client; a client waits as long as its call runs.
    return side_ == Side::accepting ? Clock::now() + callback_timeout_ : Clock::time_point::max();
}

bool Connection::wait_for(short events, Clock::time_point deadline) {
    for (;;) {
        int timeout = -1;
        if (deadline != Clock::time_point::max()) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            timeout = static_cast<int>(std::min<long long>(left.count(), 1 << 30));
        }
        pollfd p{fd_.get(), events, 0};
        int ready = ::poll(&p, 1, timeout);
        if (ready > 0)
            return true;  // ready, or closed: the read or write that follows tells
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

bool Connection::send(std::vector<unsigned char> message, bool accepting_side) {
    if (!connected_)
        return false;
    auto until = deadline();
    if (pending_) {
        // The rest of a reply the message loop began goes first, or the peer reads a mix.
        for (;;) {
            auto status = pending_->write_to(fd_.get());
            if (status == OutgoingMessage::Status::done)
                break;
            if (status == OutgoingMessage::Status::closed || !wait_for(POLLOUT, until))
                return false;
        }
        pending_.reset();
    }
    OutgoingMessage out(std::move(message), accepting_side);
    for (;;) {
        switch (out.write_to(fd_.get())) {
            case OutgoingMessage::Status::done:
                return true;
            case OutgoingMessage::Status::closed:
                return false;
            case OutgoingMessage::Status::more:
                if (!wait_for(POLLOUT, until))
                    return false;
                break;
        }
    }
}

std::optional<std::vector<unsigned char>> Connection::receive(bool& accepting_side) {
    auto until = deadline();
    for (;;) {
        std::vector<unsigned char> message;
        switch (incoming_->read_from(fd_.get(), message)) {
            case MessageAssembler::Status::message:
                accepting_side = incoming_->accepting_side();
                return message;
            case MessageAssembler::Status::more:
                if (!wait_for(POLLIN, until))
                    return std::nullopt;
                break;
            case MessageAssembler::Status::waiting:
                // Other connections hold the budget; they are not read while this one waits,
                // so only a message that completes elsewhere frees it: look again shortly.
                if (Clock::now() > until)
                    return std::nullopt;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                break;
            case MessageAssembler::Status::closed:
            case MessageAssembler::Status::malformed:
                return std::nullopt;
        }
    }
}

std::vector<unsigned char> Connection::sendable(wire::Writer& reply) {
    if (reply.bytes().size() <= wire::max_message)
        return std::move(reply.bytes());
    // No peer takes it: the caller learns that the call failed and keeps its objects.
    wire::Writer refusal;
    refusal.put<HRESULT>(E_OUTOFMEMORY);
    return std::move(refusal.bytes());
}

void Connection::flush_deferred() {
    auto posts = std::move(deferred_);
    deferred_.clear();
    for (auto& message : posts)
        if (connected_ && !send(std::move(message), side_ == Side::accepting))
            lose();
}

Outcome Connection::serve(wire::Reader& in, wire::Writer& reply) {
    struct Serving {
        int& depth;
        explicit Serving(int& d) : depth(d) { ++depth; }
        ~Serving() { --depth; }
    } serving(serving_);
    auto op = static_cast<wire::Op>(in.get<std::uint8_t>());
    Outcome outcome = stubs_.handle(op, in, reply, *this);
    if (outcome == Outcome::unknown)
        outcome = requests_ ? requests_(op, in, reply) : Outcome::refuse;
    return outcome == Outcome::unknown ? Outcome::refuse : outcome;
}

std::optional<std::vector<unsigned char>> Connection::exchange(
    const std::vector<unsigned char>& request) {
    std::lock_guard guard(lock_);
    if (request.size() > wire::max_message)
        return std::nullopt;  // refused before anything is sent: the connection stays usable
    const bool mine = side_ == Side::accepting;
    if (!send(request, mine)) {
        lose();
        return std::nullopt;
    }
    try {
        for (;;) {
            bool accepting_side = false;
            auto message = receive(accepting_side);
            if (!message)
                break;
            if (accepting_side == mine)
                return message;  // the reply: exchanges nest, so it is this one's
            // A request of the peer while it owes us the reply: served on this thread.
            wire::Reader in(*message);
            wire::Writer reply;
            Outcome outcome = serve(in, reply);
            if (outcome == Outcome::refuse)
                break;
            *message = std::vector<unsigned char>();
            if (outcome == Outcome::reply && !send(sendable(reply), !mine))
                break;
            flush_deferred();
        }
    } catch (const wire::Malformed&) {
    } catch (const std::bad_alloc&) {
    }
    lose();
    return std::nullopt;
}

void Connection::post(const std::vector<unsigned char>& request) {
    std::lock_guard guard(lock_);
    if (!connected_)
        return;
    if (serving_ > 0 || pending_) {
        deferred_.push_back(request);
        return;
    }
    if (!send(request, side_ == Side::accepting))
        lose();
}

bool Connection::serve_incoming(std::vector<unsigned char>& request) {
    std::lock_guard guard(lock_);
    wire::Reader in(request);
    wire::Writer reply;
    switch (serve(in, reply)) {
        case Outcome::refuse:
        case Outcome::unknown:
            return false;
        case Outcome::no_reply:
            flush_deferred();
            return connected_;
        case Outcome::reply:
            break;
    }
    if (!connected_)
        return false;  // given up while the request ran (a callback's peer timed out)
    request = std::vector<unsigned char>();  // its storage goes before the reply is written
    OutgoingMessage out(sendable(reply), side_ == Side::connecting);
    switch (out.write_to(fd_.get())) {
        case OutgoingMessage::Status::done:
            flush_deferred();
            return connected_;
        case OutgoingMessage::Status::closed:
            return false;
        case OutgoingMessage::Status::more:
            break;
    }
    pending_.emplace(std::move(out));
    return true;
}

OutgoingMessage::Status Connection::write_pending() {
    std::lock_guard guard(lock_);
    if (!pending_)
        return OutgoingMessage::Status::done;
    auto status = pending_->write_to(fd_.get());
    if (status == OutgoingMessage::Status::done) {
        pending_.reset();
        flush_deferred();
        if (!connected_)
            return OutgoingMessage::Status::closed;
    }
    return status;
}

}  // namespace comrt
