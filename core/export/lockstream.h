// The outside Lockstream library as the encoder sees it: an object whose
// operations are called by slot number, created and released through two
// exports of the library "lsedll". Slots not used by the encoder are
// placeholders that keep the numbering.
#ifndef TESSEL_CORE_EXPORT_LOCKSTREAM_H
#define TESSEL_CORE_EXPORT_LOCKSTREAM_H

class LockstreamInterface {
 public:
  virtual int Slot0() = 0;
  virtual int Slot1() = 0;
  virtual int Slot2() = 0;
  virtual int Slot3() = 0;
  virtual int Slot4() = 0;
  virtual int Slot5() = 0;
  virtual void SetInfo(void* handle, const void* info) = 0;                   // 6
  virtual void SetBitrate(int kbpsTenths) = 0;                                // 7 (bitrate / 100)
  virtual void SetTrack(int trackValue) = 0;                                  // 8
  virtual int Slot9() = 0;
  virtual int Slot10() = 0;
  virtual int Slot11() = 0;
  virtual int Slot12() = 0;
  virtual int Command(void* handle, int a, int b, int c) = 0;                 // 13
  virtual void WriteFrame(void* handle, const unsigned char* data, int n) = 0;  // 14
  virtual void CloseFile(void* handle) = 0;                                   // 15
  virtual int Slot16() = 0;
  virtual void* CreateFile(const char* id, int idLength, const char* path, int one, int bitrate100, int trackValue,
                           const void* info, const unsigned char* prefix, int prefixLength) = 0;  // 17
  virtual void* Attach(const char* id, int idLength, int value) = 0;          // 18
  virtual int Ready() = 0;                                                    // 19
};

using CreateLockstreamInterfaceFn = int (*)(LockstreamInterface**);
using ReleaseLockstreamInterfaceFn = int (*)(LockstreamInterface**);

#endif
