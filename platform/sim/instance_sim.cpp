#include "platform/instance.h"

namespace lyb {

namespace {

class SimGuard final : public InstanceGuard {
public:
    explicit SimGuard(SimInstanceHub& hub) : m_hub(hub) {}
    ~SimGuard() override { Release(); }
    GuardResult Acquire() override {
        if (m_held)
            return GuardResult::Acquired;
        if (m_hub.guardHeld)
            return GuardResult::AlreadyRunning;
        m_hub.guardHeld = m_held = true;
        return GuardResult::Acquired;
    }
    void Release() override {
        if (m_held)
            m_hub.guardHeld = m_held = false;
    }
    bool Held() const override { return m_held; }

private:
    SimInstanceHub& m_hub;
    bool m_held = false;
};

class SimServer final : public HandoffServer {
public:
    explicit SimServer(SimInstanceHub& hub) : m_hub(hub) {}
    ~SimServer() override { Stop(); }
    bool Start(HandoffHandler handler) override {
        if (m_hub.handler)
            return false;
        m_hub.handler = std::move(handler);
        m_started = true;
        return true;
    }
    void Stop() override {
        if (m_started)
            m_hub.handler = nullptr;
        m_started = false;
    }

private:
    SimInstanceHub& m_hub;
    bool m_started = false;
};

class SimConnection final : public HandoffConnection {
public:
    explicit SimConnection(SimInstanceHub& hub) : m_hub(hub) {}
    std::optional<std::intptr_t> Send(std::uint32_t dwData, const std::string& data, int) override {
        if (!m_hub.handler || data.size() > kMaxHandoffBytes)
            return std::nullopt;
        return m_hub.handler(dwData, data);
    }

private:
    SimInstanceHub& m_hub;
};

class SimClient final : public HandoffClient {
public:
    explicit SimClient(SimInstanceHub& hub) : m_hub(hub) {}
    std::unique_ptr<HandoffConnection> Connect() override {
        if (!m_hub.handler)
            return nullptr;
        return std::make_unique<SimConnection>(m_hub);
    }

private:
    SimInstanceHub& m_hub;
};

} // namespace

std::unique_ptr<InstanceGuard> SimInstanceHub::MakeGuard() { return std::make_unique<SimGuard>(*this); }
std::unique_ptr<HandoffServer> SimInstanceHub::MakeServer() { return std::make_unique<SimServer>(*this); }
std::unique_ptr<HandoffClient> SimInstanceHub::MakeClient() { return std::make_unique<SimClient>(*this); }

} // namespace lyb
