// A stand-in for the outside Lockstream library: records every slot call
// in a text log that the tests read back through LseDoubleLog.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/export/lockstream.h"

namespace {

std::string g_log;
int g_ready = 1;
int g_handleValue = 0x1234;

void Log(const char* fmt, long a = 0, long b = 0, long c = 0) {
  char buf[160];
  std::snprintf(buf, sizeof(buf), fmt, a, b, c);
  g_log += buf;
  g_log += ';';
}

class Double final : public LockstreamInterface {
 public:
  int Slot0() override { return 0; }
  int Slot1() override { return 0; }
  int Slot2() override { return 0; }
  int Slot3() override { return 0; }
  int Slot4() override { return 0; }
  int Slot5() override { return 0; }
  void SetInfo(void* handle, const void* info) override {
    Log("6:%ld:%ld", handle == Handle() ? 1 : 0, info ? static_cast<const unsigned char*>(info)[0] : -1);
  }
  void SetBitrate(int v) override { Log("7:%ld", v); }
  void SetTrack(int v) override { Log("8:%ld", v); }
  int Slot9() override { return 0; }
  int Slot10() override { return 0; }
  int Slot11() override { return 0; }
  int Slot12() override { return 0; }
  int Command(void* handle, int a, int b, int c) override {
    Log("13:%ld:%ld", handle == Handle() ? 1 : 0, a + b + c);
    return a * 100 + b * 10 + c;
  }
  void WriteFrame(void* handle, const unsigned char* data, int n) override {
    (void)data;
    Log("14:%ld:%ld", handle == Handle() ? 1 : 0, n > 7 && data[0] == 0xFF ? 1 : 0);
  }
  void CloseFile(void* handle) override { Log("15:%ld", handle == Handle() ? 1 : 0); }
  int Slot16() override { return 0; }
  void* CreateFile(const char* id, int idLength, const char* path, int one, int bitrate100, int trackValue,
                   const void* info, const unsigned char* prefix, int prefixLength) override {
    (void)path;
    (void)info;
    (void)prefix;
    g_log += "17:";
    g_log.append(id, static_cast<size_t>(idLength));
    Log(":%ld:%ld:%ld", one, bitrate100, trackValue);
    (void)prefixLength;
    return g_handleValue ? Handle() : nullptr;
  }
  void* Attach(const char* id, int idLength, int value) override {
    g_log += "18:";
    g_log.append(id, static_cast<size_t>(idLength));
    Log(":%ld", value);
    return g_handleValue ? Handle() : nullptr;
  }
  int Ready() override {
    Log("19");
    return g_ready;
  }
  static void* Handle() { return &g_handleValue; }
};

Double g_double;

}  // namespace

extern "C" __attribute__((visibility("default"))) int CreateLockstreamInterface(LockstreamInterface** out) {
  Log("create");
  *out = &g_double;
  return 0;
}
extern "C" __attribute__((visibility("default"))) int ReleaseLockstreamInterface(LockstreamInterface** obj) {
  Log("release:%ld", *obj == &g_double ? 1 : 0);
  return 0;
}
extern "C" __attribute__((visibility("default"))) const char* LseDoubleLog() { return g_log.c_str(); }
extern "C" __attribute__((visibility("default"))) void LseDoubleReset(int ready, int handle) {
  g_log.clear();
  g_ready = ready;
  g_handleValue = handle;
}
