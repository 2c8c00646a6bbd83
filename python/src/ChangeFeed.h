#pragma once

#include "Dictionary.h"
#include "core/ChangeStream.h"

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// A subscription as Python sees it: the changes of some names of one dictionary, handed out one
// at a time as Change records. It keeps its dictionary alive; closing it (or collecting it) ends
// the subscription.
class ChangeFeed {
public:
    // One change: the leaf's full name, its value as read() converts it (None on an error),
    // its type, the error's reason (None when there is a value) and when it was sampled (an
    // aware UTC datetime).
    struct Record {
        std::string name;
        pybind11::object value;
        pybind11::object type;
        pybind11::object error;
        pybind11::object time;
    };

    // Subscribes to the names; throws std::invalid_argument (ValueError) with the reason for a
    // malformed name, interval or deadband, UnknownItem for a name the dictionary refuses.
    // Called with the GIL held.
    ChangeFeed(std::shared_ptr<Dictionary> dictionary, std::vector<std::string> names,
               double intervalSeconds, double deadband);

    // The next change, or None when none came within the timeout (none: wait until one comes)
    // or the feed is closed. Waits with the GIL released, taking it every 100 ms to let Python
    // run its signal handlers, so Ctrl-C raises KeyboardInterrupt. Called with the GIL held.
    pybind11::object Next(std::optional<double> timeoutSeconds);
    // Ends the subscription; safe to call twice and from another thread.
    void Close();
    bool Closed() const { return m_Stream->Closed(); }
    std::size_t Merged() const { return m_Stream->Merged(); }
    // The interval the names are sampled at, in seconds, and the note when it is not the one
    // asked for.
    double IntervalSeconds() const { return m_IntervalSeconds; }
    const std::string& Note() const { return m_Note; }
    const std::vector<std::string>& Names() const { return m_Names; }

private:
    pybind11::object Convert(const SampledChange& change) const;

    std::shared_ptr<Dictionary> m_Dictionary;
    std::shared_ptr<ChangeStream> m_Stream;
    std::vector<std::string> m_Names;
    double m_IntervalSeconds = 0;
    std::string m_Note;
};
