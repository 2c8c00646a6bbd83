#include "ChangeFeed.h"

#include "ItemTypes.h"
#include "UnknownItem.h"
#include "ValueConversion.h"
#include "core/Sampler.h"

#include <chrono>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace py = pybind11;

namespace {

constexpr auto kSignalCheck = std::chrono::milliseconds(100);

std::chrono::milliseconds IntervalOf(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0) {
        throw std::invalid_argument("the interval must be a number of seconds above 0");
    }
    // Past an hour the sampler lowers it to its maximum (with a note); kept in range here.
    const double milliseconds = std::min(std::round(seconds * 1000), 1e12);
    return std::chrono::milliseconds(static_cast<std::int64_t>(milliseconds));
}

// An aware UTC datetime, to the microsecond.
py::object UtcTime(std::chrono::system_clock::time_point time) {
    const auto micro =
        std::chrono::floor<std::chrono::microseconds>(time.time_since_epoch()).count();
    const py::module_ datetime = py::module_::import("datetime");
    const py::object utc = datetime.attr("timezone").attr("utc");
    const py::object epoch = datetime.attr("datetime")(1970, 1, 1, 0, 0, 0, 0, utc);
    return epoch + datetime.attr("timedelta")(py::arg("microseconds") = micro);
}

} // namespace

ChangeFeed::ChangeFeed(std::shared_ptr<Dictionary> dictionary, std::vector<std::string> names,
                       double intervalSeconds, double deadband)
    : m_Dictionary(std::move(dictionary)), m_Names(std::move(names)) {
    SubscribeRequest request{m_Names, IntervalOf(intervalSeconds), deadband};
    SubscribeAnswer answer;
    {
        const py::gil_scoped_release release;
        m_Stream = std::make_shared<ChangeStream>(m_Dictionary->Subscriptions());
        answer = m_Stream->Subscribe(request);
        if (answer.Ok()) {
            // A name the dictionary refuses never gets a value from this dictionary, which
            // does not reload: refused as read() refuses it.
            for (const std::string& name : m_Names) {
                const ResolvedItem item = m_Dictionary->Opened().Resolve(name);
                if (!item.Resolved()) {
                    m_Stream->Close();
                    throw UnknownItem(name, item.reason);
                }
            }
        }
    }
    if (!answer.Ok()) {
        m_Stream->Close();
        throw std::invalid_argument(answer.error);
    }
    m_IntervalSeconds = static_cast<double>(answer.interval.count()) / 1000;
    m_Note = answer.note;
}

py::object ChangeFeed::Next(std::optional<double> timeoutSeconds) {
    using Clock = ChangeStream::Clock;
    if (timeoutSeconds && (std::isnan(*timeoutSeconds) || *timeoutSeconds < 0)) {
        throw std::invalid_argument("the timeout must be a number of seconds of 0 or more");
    }
    const auto start = Clock::now();
    auto deadline = Clock::time_point::max();
    if (timeoutSeconds && *timeoutSeconds < 1e9) {
        deadline = start + std::chrono::duration_cast<Clock::duration>(
                               std::chrono::duration<double>(*timeoutSeconds));
    }
    const std::shared_ptr<ChangeStream> stream = m_Stream;
    while (true) {
        std::optional<SampledChange> change;
        {
            const py::gil_scoped_release release;
            change = stream->Next(std::min(deadline, Clock::now() + kSignalCheck));
        }
        if (change) {
            return Convert(*change);
        }
        if (stream->Closed() || Clock::now() >= deadline) {
            return py::none();
        }
        if (PyErr_CheckSignals() != 0) {
            throw py::error_already_set();
        }
    }
}

void ChangeFeed::Close() {
    const py::gil_scoped_release release;
    m_Stream->Close();
}

py::object ChangeFeed::Convert(const SampledChange& change) const {
    const ValueResult& result = change.result;
    Record record;
    record.name = result.name;
    record.type = result.type ? py::object(py::str(*result.type)) : py::none();
    if (result.Ok() && result.value) {
        const ItemTypes types(m_Dictionary->Opened().Types());
        record.value = ValueConversion(types).ToPython(*result.value, result.name);
        record.error = py::none();
    } else {
        record.value = py::none();
        record.error = py::str(result.Message());
    }
    record.time = UtcTime(change.time);
    return py::cast(std::move(record));
}
