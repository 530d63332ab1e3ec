// Where the events that leave the codec go, and when the frames they came from may be
// acknowledged: only once commit() says the output holds them durably.
#pragma once

#include <cstring>
#include <string>

#include "tools/common/texts.h"

namespace tools {

class EventLines;

class EventOutput {
public:
    enum class Commit {
        Durable, // everything written so far is held: it may be acknowledged
        Failed,  // see failure(); nothing since the last Durable may be acknowledged
        Stopped, // requestStop() came first; nothing since the last Durable may be acknowledged
    };

    virtual ~EventOutput() = default;

    // Whether write() reads each event's line and channel (EventLines::line, channel): an output
    // that takes the text whole spares the writer the index.
    virtual bool needsEventIndex() const { return false; }

    // Takes the events of one call of the codec towards the host. It may pass them on at once or
    // hold them until commit(); it keeps no reference to events. False once the output has failed:
    // from then on it takes nothing.
    virtual bool write(const EventLines& events) = 0;

    // Blocks until everything written since the last commit is durable (the file synced, or the
    // broker's acknowledgement of every event), the output fails, or requestStop() is called.
    virtual Commit commit() = 0;

    // Makes a commit() that waits return Stopped soon; the only call allowed from another thread.
    virtual void requestStop() {}

    // Closes and opens the destination again (a log rotation), between commits. False with the
    // reason when it cannot; it then goes on with the destination it had.
    virtual bool reopen(std::string& /*reason*/) { return true; }

    // errno of the first failure, 0 while there was none.
    virtual int failure() const = 0;

    // The first failure as the log names it: an output that knows more than errno tells it here.
    virtual std::string failureText() const
    {
        return texts::cannotWriteOutput + std::string(std::strerror(failure()));
    }
};

} // namespace tools
