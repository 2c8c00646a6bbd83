#include "mqtt/ProgramPublisher.h"

#include "core/ItemName.h"
#include "core/ValueAccess.h"
#include "mqtt/PublishItems.h"
#include "mqtt/TopicName.h"
#include "json/CoreJson.h"

#include <algorithm>

namespace {

constexpr std::chrono::milliseconds kRound{200}; // a reload is seen within this
const std::string kSet = "/set";

std::string Payload(const SampledChange& change) {
    nlohmann::json json = CoreJson::Change(change);
    json.erase("name"); // the topic names the item
    return CoreJson::Text(json, -1);
}

std::string Refusal(const std::string& name, const std::string& reason) {
    return CoreJson::Text({{"name", name.empty() ? nlohmann::json() : nlohmann::json(name)},
                           {"type", nullptr},
                           {"error", reason},
                           {"written", false}},
                          -1);
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    const auto last = text.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

} // namespace

ProgramPublisher::ProgramPublisher(const PlantConfig::Mqtt& broker, std::string clientId,
                                   MqttSource source, Log log)
    : m_Broker(broker), m_Source(std::move(source)), m_Log(std::move(log)),
      m_Base(broker.topicPrefix + "/" + m_Source.dictionary + "/"),
      m_Wake(std::make_shared<Wake>()), m_Given{m_Source.publish, m_Source.writable} {
    MqttConnection::Handlers handlers;
    handlers.connected = [this] {
        {
            const std::lock_guard lock(m_Wake->mutex);
            m_Reconnected = true;
        }
        m_Log("mqtt: " + m_Source.dictionary + ": connected to " + m_Broker.host + ":" +
              std::to_string(m_Broker.port));
        Signal();
    };
    handlers.trouble = [this](const std::string& reason) {
        m_Log("mqtt: " + m_Source.dictionary + ": " + reason);
    };
    handlers.message = [this](const std::string& topic, std::string payload) {
        OnMessage(topic, std::move(payload));
    };
    handlers.drained = [this] { Signal(); };
    // Set messages reach a read-only program too, so that the writer learns why nothing was
    // written.
    m_Connection = std::make_unique<MqttConnection>(
        m_Broker, std::move(clientId),
        MqttConnection::Will{Topic("$state"), R"({"state":"offline"})"}, m_Base + "#",
        std::move(handlers));
}

ProgramPublisher::~ProgramPublisher() {
    Stop();
}

bool ProgramPublisher::Start(std::string& error) {
    if (const std::string fault = TopicName::LevelFault(m_Source.dictionary); !fault.empty()) {
        error = "dictionary '" + m_Source.dictionary + "' cannot be a topic level: " + fault;
        return false;
    }
    std::weak_ptr<Wake> wake = m_Wake;
    m_Subscription = m_Source.sampler->Open([wake] {
        if (const auto held = wake.lock()) {
            const std::lock_guard lock(held->mutex);
            held->ready = true;
            held->changed.notify_one();
        }
    });
    if (!m_Connection->Start(error)) {
        return false;
    }
    m_Thread = std::thread([this] { Run(); });
    return true;
}

void ProgramPublisher::Stop() {
    {
        const std::lock_guard lock(m_Wake->mutex);
        m_Stopping = true;
        m_Wake->changed.notify_one();
    }
    if (m_Thread.joinable()) {
        m_Thread.join();
    }
    m_Subscription.reset();
    m_Connection->Stop();
}

bool ProgramPublisher::Reconfigure(const MqttSource& source) {
    const PlantConfig::Publish& given = m_Given.publish;
    const PlantConfig::Publish& next = source.publish;
    if (given.items == next.items && given.interval == next.interval &&
        given.deadband == next.deadband && given.resend == next.resend &&
        m_Given.writable == source.writable) {
        return false;
    }
    m_Given = {source.publish, source.writable};
    const std::lock_guard lock(m_Wake->mutex);
    m_Next = m_Given;
    m_Wake->ready = true;
    m_Wake->changed.notify_one();
    return true;
}

MqttStatus ProgramPublisher::Status() const {
    const std::lock_guard lock(m_StatusMutex);
    MqttStatus status = m_Status;
    status.connected = m_Connection->Connected();
    status.queued += m_Connection->InFlight();
    return status;
}

void ProgramPublisher::Signal() {
    const std::lock_guard lock(m_Wake->mutex);
    m_Wake->ready = true;
    m_Wake->changed.notify_one();
}

void ProgramPublisher::Run() {
    while (true) {
        const auto resend = m_Source.publish.resend;
        const auto round = resend.count() > 0 ? std::min(kRound, resend) : kRound;
        bool reconnected = false;
        std::optional<Settings> next;
        {
            std::unique_lock lock(m_Wake->mutex);
            m_Wake->changed.wait_for(lock, round, [this] { return m_Wake->ready || m_Stopping; });
            if (m_Stopping) {
                return;
            }
            m_Wake->ready = false;
            reconnected = std::exchange(m_Reconnected, false);
            next = std::exchange(m_Next, std::nullopt);
        }
        m_Connection->Retry(Clock::now());
        if (next) {
            Apply(std::move(*next));
        }
        Follow();
        if (reconnected) {
            PublishState();
            // The broker may have restarted without its retained values: each item's last
            // value goes again, once.
            for (auto& [topic, entry] : m_Entries) {
                if (entry.known && !entry.dirty) {
                    entry.dirty = true;
                    m_Order.push_back(topic);
                }
            }
        }
        TakeChanges();
        Flush();
        Resend(Clock::now());
        Writes();
    }
}

void ProgramPublisher::Follow() {
    std::shared_ptr<const Program> current = m_Source.current();
    if (current == m_Program) {
        return;
    }
    const bool reload = m_Program != nullptr;
    m_Program = std::move(current);
    if (!m_Program) {
        return;
    }
    Resubscribe(*m_Program);
    if (reload) {
        m_Log("mqtt: " + m_Source.dictionary + ": reloaded, state published again");
    }
    if (m_Connection->Connected()) {
        PublishState();
    }
}

void ProgramPublisher::Apply(Settings settings) {
    const PlantConfig::Publish& before = m_Source.publish;
    const bool again = settings.publish.interval != before.interval ||
                       settings.publish.deadband != before.deadband;
    m_Source.publish = std::move(settings.publish);
    m_Source.writable = settings.writable;
    m_NextResend = {};
    m_Log("mqtt: " + m_Source.dictionary + ": publish settings changed; items made again");
    if (m_Program) {
        Resubscribe(*m_Program, again);
    }
}

void ProgramPublisher::Resubscribe(const Program& program, bool again) {
    const PublishItems::Result items = PublishItems::Expand(program, m_Source.publish.items);
    if (!items.Ok()) {
        m_Log("mqtt: " + m_Source.dictionary + ": " + items.error);
        return;
    }
    const std::set<std::string> wanted(items.names.begin(), items.names.end());
    std::vector<std::string> gone;
    std::set_difference(m_Names.begin(), m_Names.end(), wanted.begin(), wanted.end(),
                        std::back_inserter(gone));
    if (!gone.empty()) {
        m_Subscription->Unsubscribe(gone);
        Withdraw(gone);
    }
    SubscribeRequest request;
    request.interval = m_Source.publish.interval;
    request.deadband = m_Source.publish.deadband;
    if (again) {
        request.names = items.names;
    } else {
        std::set_difference(wanted.begin(), wanted.end(), m_Names.begin(), m_Names.end(),
                            std::back_inserter(request.names));
    }
    m_Names = wanted;
    if (request.names.empty()) {
        return;
    }
    const SubscribeAnswer answer = m_Subscription->Subscribe(request);
    if (!answer.Ok()) {
        m_Log("mqtt: " + m_Source.dictionary + ": " + answer.error);
        return;
    }
    m_Log("mqtt: " + m_Source.dictionary + ": publishing " + std::to_string(m_Names.size()) +
          " items under " + m_Base + (answer.note.empty() ? "" : " (" + answer.note + ")"));
}

// An item no longer published (the program changed under a pattern) has its retained value
// cleared, an empty retained message, so that no consumer takes its last value for a live one.
void ProgramPublisher::Withdraw(const std::vector<std::string>& names) {
    std::set<std::string> gone;
    for (const std::string& name : names) {
        gone.insert(Topic(TopicName::FromItem(name)));
    }
    for (auto& [topic, entry] : m_Entries) {
        bool below = false;
        for (std::size_t end = topic.size(); end != std::string::npos && !below;
             end = end == 0 ? std::string::npos : topic.rfind('/', end - 1)) {
            below = gone.contains(topic.substr(0, end));
        }
        if (!below || !entry.known) {
            continue;
        }
        entry.known = false;
        entry.payload.clear();
        if (!entry.dirty) {
            entry.dirty = true;
            m_Order.push_back(topic);
        }
    }
}

void ProgramPublisher::TakeChanges() {
    ChangeBatch batch = m_Subscription->Take();
    std::uint64_t dropped = batch.merged;
    for (const SampledChange& change : batch.changes) {
        const std::string topic = Topic(TopicName::FromItem(change.result.name));
        Entry& entry = m_Entries[topic];
        if (entry.dirty) {
            ++dropped; // its older value was never sent
        } else {
            entry.dirty = true;
            m_Order.push_back(topic);
        }
        entry.known = true;
        entry.payload = Payload(change);
    }
    const std::lock_guard lock(m_StatusMutex);
    m_Status.dropped += dropped;
    m_Status.queued = m_Order.size();
}

void ProgramPublisher::Flush() {
    std::uint64_t published = 0;
    const Clock::time_point now = Clock::now();
    if (m_Held && !m_Connection->Full()) {
        m_Held = false;
        m_Log("mqtt: " + m_Source.dictionary + ": the broker caught up; publishing again");
    }
    while (!m_Order.empty()) {
        if (m_Connection->Full()) {
            if (!m_Held) {
                m_Held = true;
                m_Log("mqtt: " + m_Source.dictionary + ": the broker is behind (" +
                      std::to_string(MqttConnection::kMaxInFlight) +
                      " messages not acknowledged); each item's last value is kept until it "
                      "catches up");
            }
            break;
        }
        Entry& entry = m_Entries[m_Order.front()];
        if (!m_Connection->Publish(m_Order.front(), entry.payload, true)) {
            break; // the broker is away: kept for the reconnect
        }
        entry.dirty = false;
        entry.sent = now;
        m_Order.pop_front();
        ++published;
    }
    const std::lock_guard lock(m_StatusMutex);
    m_Status.published += published;
    m_Status.queued = m_Order.size();
}

void ProgramPublisher::Resend(Clock::time_point now) {
    const auto every = m_Source.publish.resend;
    if (every.count() == 0 || now < m_NextResend || !m_Connection->Connected()) {
        return;
    }
    m_NextResend = now + every;
    for (auto& [topic, entry] : m_Entries) {
        if (entry.known && !entry.dirty && now - entry.sent >= every) {
            entry.dirty = true;
            m_Order.push_back(topic);
        }
    }
    Flush();
}

void ProgramPublisher::PublishState() {
    const nlohmann::json stamp =
        m_Program ? nlohmann::json(m_Program->Stamp()) : nlohmann::json(nullptr);
    const std::string state =
        CoreJson::Text({{"state", "online"},
                        {"stamp", stamp},
                        {"time", CoreJson::IsoTime(std::chrono::system_clock::now())}},
                       -1);
    if (m_Connection->Publish(Topic("$state"), state, true)) {
        const std::lock_guard lock(m_StatusMutex);
        ++m_Status.published;
    }
}

void ProgramPublisher::Writes() {
    std::deque<SetMessage> sets;
    {
        const std::lock_guard lock(m_Wake->mutex);
        sets.swap(m_Sets);
    }
    for (const SetMessage& message : sets) {
        const std::string result = WriteResult(message);
        if (m_Connection->Publish(Topic(message.levels + kSet + "/result"), result, false)) {
            const std::lock_guard lock(m_StatusMutex);
            ++m_Status.published;
        }
    }
}

std::string ProgramPublisher::WriteResult(const SetMessage& message) const {
    if (!m_Source.writable) {
        return Refusal({}, "the program is read-only: writes from the broker are off");
    }
    const auto name = TopicName::ToItem(message.levels);
    if (!name) {
        return Refusal({}, "'" + message.levels +
                               "' is not an item's topic (an empty level, or '.', '[', ']' or "
                               "',' in a level)");
    }
    const ItemName checked = ItemName::Check(*name);
    if (!checked.Ok() || checked.Text() != *name) {
        return Refusal(*name, checked.Ok() ? "not the item's own spelling" : checked.Reason());
    }
    if (message.payload.size() > kMaxWritePayload) {
        return Refusal(*name,
                       "the value is larger than " + std::to_string(kMaxWritePayload) + " bytes");
    }
    if (!m_Program) {
        return Refusal(*name, "the program is not in service (its file did not import)");
    }
    // A JSON value, else the text as a literal (T#5s, 16#FF, TRUE).
    const nlohmann::json json = nlohmann::json::parse(message.payload, nullptr, false);
    const Value value =
        json.is_discarded() ? Value(Trimmed(message.payload)) : CoreJson::ToValue(json);
    const WriteOutcome outcome = m_Program->Values().Write({{*name, value}});
    nlohmann::json result = CoreJson::ValueWritten(outcome.results.front());
    result["written"] = outcome.Complete();
    return CoreJson::Text(result, -1);
}

void ProgramPublisher::OnMessage(const std::string& topic, std::string payload) {
    if (topic.size() <= m_Base.size() + kSet.size() ||
        topic.compare(0, m_Base.size(), m_Base) != 0 ||
        topic.compare(topic.size() - kSet.size(), kSet.size(), kSet) != 0) {
        return; // not a set message
    }
    std::string levels = topic.substr(m_Base.size(), topic.size() - m_Base.size() - kSet.size());
    {
        const std::lock_guard lock(m_Wake->mutex);
        if (m_Sets.size() < kMaxWrites) {
            m_Sets.push_back({std::move(levels), std::move(payload)});
            m_Wake->ready = true;
            m_Wake->changed.notify_one();
            return;
        }
    }
    m_Connection->Publish(topic + "/result",
                          Refusal({}, "too many writes wait already; try again shortly"), false);
}

std::string ProgramPublisher::Topic(const std::string& levels) const {
    return m_Base + levels;
}
