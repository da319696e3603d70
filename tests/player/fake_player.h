// A CPlayer that records its calls and answers from fields a test sets.
#pragma once

#include "player/player.h"

#include <string>
#include <vector>

namespace lyb::test {

class FakePlayer final : public CPlayer {
public:
    explicit FakePlayer(std::string name, std::vector<std::string>* log = nullptr)
        : m_name(std::move(name)), m_log(log) {}

    int GetState() override { return state; }
    void ReleaseBacking() override { Log("release"); }
    int SetPosition(double s) override {
        position = s;
        Log("setposition");
        return 0;
    }
    double GetDuration() override { return duration; }
    double GetPosition() override { return position; }
    ~FakePlayer() override { Log("destroy"); }
    int Init() override { return initResult; }
    int Open(const std::string& path, int) override {
        opened.push_back(path);
        Log("open");
        return openResult;
    }
    int Pause() override {
        Log("pause");
        if (pauseResult == 0)
            state = 2;
        return pauseResult;
    }
    int Stop() override {
        Log("stop");
        state = 3;
        return 0;
    }
    int Play() override {
        Log("play");
        if (playResult == 0)
            state = 1;
        return playResult;
    }

    int state = 3;
    int initResult = 0;
    int openResult = 0;
    int playResult = 0;
    int pauseResult = 0;
    double duration = 0;
    double position = 0;
    std::vector<std::string> opened;

private:
    void Log(const std::string& what) {
        if (m_log)
            m_log->push_back(m_name + " " + what);
    }
    std::string m_name;
    std::vector<std::string>* m_log;
};

} // namespace lyb::test
