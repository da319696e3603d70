#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/errorhnd.h"
#include "core/uci.h"

namespace {

TEST(ErrorChain, RecordKeepsBaseNameLineAndFormattedMessage) {
  ErrorRecord* e = ErrorCreate("C:\\src\\core\\psymain.c", 42, "PsyCreate", "bad value %d", 7);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->file, "psymain.c");
  EXPECT_EQ(e->line, 42);
  EXPECT_STREQ(e->context, "PsyCreate");
  EXPECT_STREQ(e->message, "bad value 7");
  EXPECT_EQ(e->next, nullptr);
  ErrorFree(e);
}

TEST(ErrorChain, MessageIsCutAt200Characters) {
  std::string longText(500, 'x');
  ErrorRecord* e = ErrorCreate("a.c", 1, nullptr, "%s", longText.c_str());
  EXPECT_EQ(std::strlen(e->message), 200u);
  EXPECT_EQ(e->context, nullptr);
  ErrorFree(e);
}

TEST(ErrorChain, TraceRecordsAreAppendedAtTheEnd) {
  ErrorRecord* e = ERROR_NEW("inner", "out of memory");
  e = ErrorAppend(e, "/x/middle.cpp", 10, "middle");
  e = ErrorAppend(e, "outer.cpp", 20, nullptr);
  ASSERT_EQ(ErrorChainLength(e), 3);
  EXPECT_STREQ(e->message, "out of memory");
  EXPECT_STREQ(e->next->file, "middle.cpp");
  EXPECT_EQ(e->next->message, nullptr);
  EXPECT_EQ(e->next->next->line, 20);
  EXPECT_STREQ(ErrorFirstMessage(e), "out of memory");
  ErrorFree(e);  // all three (checked by the sanitizer build)
  EXPECT_EQ(ErrorAppend(nullptr, "a.c", 1, "x"), nullptr);
}

TEST(ErrorChain, StaticOutOfMemoryRecordIsNeverFreed) {
  const ErrorRecord* s = ErrorOutOfMemoryRecord();
  EXPECT_STREQ(s->file, "errorhnd.c");
  EXPECT_EQ(s->line, 0);
  EXPECT_STREQ(s->context, "error()");
  EXPECT_STREQ(s->message, "errorhnd.c: the error handler has run out of memory");
  ErrorRecord* m = const_cast<ErrorRecord*>(s);
  EXPECT_EQ(ErrorAppend(m, "a.c", 1, "x"), m);
  EXPECT_EQ(m->next, nullptr);
  ErrorFree(m);
  ErrorFree(nullptr);
  EXPECT_STREQ(s->message, "errorhnd.c: the error handler has run out of memory");
}

class Uci : public ::testing::Test {
 protected:
  void TearDown() override { UciDestroy(); }
};

TEST_F(Uci, SecondStoreAndMissingStoreAreRefused) {
  int v = 5;
  EXPECT_EQ(UciReadInt("msDeb", 0, 2, "", &v), UCI_NO_STORE);
  EXPECT_EQ(UciSetValue("a", "1"), UCI_NO_STORE);
  ASSERT_EQ(UciCreate(0, nullptr), UCI_OK);
  EXPECT_EQ(UciCreate(0, nullptr), UCI_NO_MEMORY);
  EXPECT_EQ(v, 5);
}

TEST_F(Uci, ReadersOfSetOptions) {
  ASSERT_EQ(UciCreate(0, nullptr), UCI_OK);
  ASSERT_EQ(UciSetValue("eah", "1"), UCI_OK);
  ASSERT_EQ(UciSetValue("crcCheck", ""), UCI_OK);
  ASSERT_EQ(UciSetValue("rpmin", "0.25"), UCI_OK);
  ASSERT_EQ(UciSetValue("pair", "3 4"), UCI_OK);
  int eah = 0, crc = 0, absent = 9;
  float rpmin = 1.0f;
  int pair[2] = {0, 0};
  EXPECT_EQ(UciReadInt("eah", 0, 1, "Quantize all sfb with thr < nrg", &eah), UCI_OK);
  EXPECT_EQ(eah, 1);
  EXPECT_EQ(UciReadFlag("crcCheck", "perform CRC checking", "", &crc), UCI_OK);
  EXPECT_EQ(crc, 1);
  EXPECT_EQ(UciReadFloats("rpmin", 1, 0.0f, 1.0f, "", " ", &rpmin), UCI_OK);
  EXPECT_FLOAT_EQ(rpmin, 0.25f);
  EXPECT_EQ(UciReadInts("pair", 2, 0, 10, "", " ", pair), UCI_OK);
  EXPECT_EQ(pair[0], 3);
  EXPECT_EQ(pair[1], 4);
  EXPECT_EQ(UciReadFlag("nobmax", "", "", &absent), UCI_NOT_FOUND);
  EXPECT_EQ(UciReadInt("msDeb", 0, 2, "", &absent), UCI_NOT_FOUND);
  EXPECT_EQ(absent, 9);
}

TEST_F(Uci, RangeAndWordCountFailuresLeaveTheTarget) {
  ASSERT_EQ(UciCreate(0, nullptr), UCI_OK);
  UciSetValue("msDeb", "3");
  UciSetValue("few", "1");
  UciSetValue("many", "1 2 3");
  UciSetValue("free", "-77");
  int v = 1;
  EXPECT_EQ(UciReadInt("msDeb", 0, 2, "", &v), UCI_RANGE);
  EXPECT_EQ(v, 1);
  EXPECT_STREQ(UciErrorMessage("msDeb"), "At parameter msDeb: Range Check failed");
  EXPECT_EQ(UciLastResult("msDeb"), UCI_RANGE);
  int two[2] = {0, 0};
  EXPECT_EQ(UciReadInts("few", 2, 0, 9, "", " ", two), UCI_TOO_FEW);
  EXPECT_STREQ(UciErrorMessage("few"), "At parameter few: Too few arguments in configuration");
  EXPECT_EQ(UciReadInts("many", 2, 0, 9, "", " ", two), UCI_TOO_MANY);
  EXPECT_STREQ(UciErrorMessage("many"), "At parameter many: Too many arguments in configuration");
  EXPECT_EQ(two[0], 0);
  // Minimum equal to maximum: no range check.
  EXPECT_EQ(UciReadInt("free", 0, 0, "", &v), UCI_OK);
  EXPECT_EQ(v, -77);
}

TEST_F(Uci, FirstEntryOfANameWins) {
  ASSERT_EQ(UciCreate(0, nullptr), UCI_OK);
  UciSetValue("msFac", "2");
  UciSetValue("msFac", "5");
  float f = 1.0f;
  EXPECT_EQ(UciReadFloats("msFac", 1, 0.0f, 10000.0f, "", " ", &f), UCI_OK);
  EXPECT_FLOAT_EQ(f, 2.0f);
}

TEST_F(Uci, OnlyTwentyNamesCountAsSet) {
  ASSERT_EQ(UciCreate(0, nullptr), UCI_OK);
  for (int i = 0; i < 25; ++i) UciSetValue(("o" + std::to_string(i)).c_str(), "1");
  int v = 0;
  EXPECT_EQ(UciReadInt("o19", 0, 1, "", &v), UCI_OK);
  v = 0;
  EXPECT_EQ(UciReadInt("o20", 0, 1, "", &v), UCI_NOT_FOUND);
  EXPECT_EQ(v, 0);
}

TEST_F(Uci, AtMostAThousandEntries) {
  ASSERT_EQ(UciCreate(0, nullptr), UCI_OK);
  for (int i = 0; i < UCI_MAX_ENTRIES; ++i) ASSERT_EQ(UciSetValue("same", "1"), UCI_OK) << i;
  EXPECT_EQ(UciSetValue("same", "1"), UCI_TOO_MANY_ENTRIES);
  UciDestroy();
  std::vector<std::string> words(UCI_MAX_ENTRIES + 1, "w");
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  EXPECT_EQ(UciCreate(int(argv.size()), argv.data()), UCI_TOO_MANY_ENTRIES);
  EXPECT_FALSE(UciExists());
}

TEST_F(Uci, WordListEntriesNeedAnExplicitSet) {
  const char* words[] = {"-rpmin", "0.5", "loose", "-flag"};
  ASSERT_EQ(UciCreate(4, words), UCI_OK);
  float f = 1.0f;
  // Parsed entries exist but are read only after being set by name.
  EXPECT_EQ(UciReadFloats("rpmin", 1, 0.0f, 1.0f, "", " ", &f), UCI_NOT_FOUND);
  EXPECT_EQ(UciLastResult("rpmin"), UCI_OK);
  EXPECT_EQ(UciLastResult("flag"), UCI_OK);
  UciDestroy();
  const char* loose[] = {"a", "b"};
  ASSERT_EQ(UciCreate(2, loose), UCI_OK);
  EXPECT_EQ(UciLastResult("0"), UCI_OK);
  EXPECT_EQ(UciLastResult("1"), UCI_OK);
}

TEST_F(Uci, ListingModePrintsInsteadOfReading) {
  const char* words[] = {"-h"};
  ASSERT_EQ(UciCreate(1, words), UCI_OK);
  EXPECT_TRUE(UciListing());
  int v = 3;
  testing::internal::CaptureStderr();
  EXPECT_EQ(UciReadInt("msDeb", 0, 2, "ms debug mode", &v), UCI_LISTING);
  EXPECT_EQ(UciReadFlag("nobmax", "disable bmax", "the bmax values", &v), UCI_LISTING);
  float f[2];
  EXPECT_EQ(UciReadFloats("x", 2, 0, 1, "two floats", " ", f), UCI_LISTING);
  std::string text = testing::internal::GetCapturedStderr();
  EXPECT_NE(text.find("-msDeb int\t\tms debug mode\n"), std::string::npos);
  EXPECT_NE(text.find("-nobmax\t\t\tdisable bmax\n"), std::string::npos);
  EXPECT_NE(text.find("-x 2*float\t\ttwo floats\n"), std::string::npos);
  EXPECT_EQ(v, 3);
}

}  // namespace
