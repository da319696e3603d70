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
  void TearDown() override { UciDestroy(&store); }
  UciStore* store = nullptr;
};

TEST_F(Uci, SecondStoreAndMissingStoreAreRefused) {
  int v = 5;
  EXPECT_EQ(UciReadInt(store, "msDeb", 0, 2, "", &v), UCI_NO_STORE);
  EXPECT_EQ(UciSetValue(store, "a", "1"), UCI_NO_STORE);
  ASSERT_EQ(UciCreate(0, nullptr, &store), UCI_OK);
  UciStore* kept = store;
  EXPECT_EQ(UciCreate(0, nullptr, &store), UCI_NO_MEMORY);
  EXPECT_EQ(store, kept);
  EXPECT_EQ(UciCreate(0, nullptr, nullptr), UCI_NO_MEMORY);
  EXPECT_EQ(v, 5);
}

// Stores of different runs are independent: an option set in one is not
// seen by the other.
TEST_F(Uci, TwoStoresAreIndependent) {
  UciStore* other = nullptr;
  ASSERT_EQ(UciCreate(0, nullptr, &store), UCI_OK);
  ASSERT_EQ(UciCreate(0, nullptr, &other), UCI_OK);
  ASSERT_EQ(UciSetValue(store, "msDeb", "2"), UCI_OK);
  int a = 0, b = 0;
  EXPECT_EQ(UciReadInt(store, "msDeb", 0, 2, "", &a), UCI_OK);
  EXPECT_EQ(UciReadInt(other, "msDeb", 0, 2, "", &b), UCI_NOT_FOUND);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 0);
  UciDestroy(&other);
  EXPECT_EQ(other, nullptr);
  UciDestroy(&other);  // no store: nothing to do
}

TEST_F(Uci, ReadersOfSetOptions) {
  ASSERT_EQ(UciCreate(0, nullptr, &store), UCI_OK);
  ASSERT_EQ(UciSetValue(store, "eah", "1"), UCI_OK);
  ASSERT_EQ(UciSetValue(store, "crcCheck", ""), UCI_OK);
  ASSERT_EQ(UciSetValue(store, "rpmin", "0.25"), UCI_OK);
  ASSERT_EQ(UciSetValue(store, "pair", "3 4"), UCI_OK);
  int eah = 0, crc = 0, absent = 9;
  float rpmin = 1.0f;
  int pair[2] = {0, 0};
  EXPECT_EQ(UciReadInt(store, "eah", 0, 1, "Quantize all sfb with thr < nrg", &eah), UCI_OK);
  EXPECT_EQ(eah, 1);
  EXPECT_EQ(UciReadFlag(store, "crcCheck", "perform CRC checking", "", &crc), UCI_OK);
  EXPECT_EQ(crc, 1);
  EXPECT_EQ(UciReadFloats(store, "rpmin", 1, 0.0f, 1.0f, "", " ", &rpmin), UCI_OK);
  EXPECT_FLOAT_EQ(rpmin, 0.25f);
  EXPECT_EQ(UciReadInts(store, "pair", 2, 0, 10, "", " ", pair), UCI_OK);
  EXPECT_EQ(pair[0], 3);
  EXPECT_EQ(pair[1], 4);
  EXPECT_EQ(UciReadFlag(store, "nobmax", "", "", &absent), UCI_NOT_FOUND);
  EXPECT_EQ(UciReadInt(store, "msDeb", 0, 2, "", &absent), UCI_NOT_FOUND);
  EXPECT_EQ(absent, 9);
}

TEST_F(Uci, RangeAndWordCountFailuresLeaveTheTarget) {
  ASSERT_EQ(UciCreate(0, nullptr, &store), UCI_OK);
  UciSetValue(store, "msDeb", "3");
  UciSetValue(store, "few", "1");
  UciSetValue(store, "many", "1 2 3");
  UciSetValue(store, "free", "-77");
  int v = 1;
  EXPECT_EQ(UciReadInt(store, "msDeb", 0, 2, "", &v), UCI_RANGE);
  EXPECT_EQ(v, 1);
  EXPECT_STREQ(UciErrorMessage(store, "msDeb"), "At parameter msDeb: Range Check failed");
  EXPECT_EQ(UciLastResult(store, "msDeb"), UCI_RANGE);
  int two[2] = {0, 0};
  EXPECT_EQ(UciReadInts(store, "few", 2, 0, 9, "", " ", two), UCI_TOO_FEW);
  EXPECT_STREQ(UciErrorMessage(store, "few"), "At parameter few: Too few arguments in configuration");
  EXPECT_EQ(UciReadInts(store, "many", 2, 0, 9, "", " ", two), UCI_TOO_MANY);
  EXPECT_STREQ(UciErrorMessage(store, "many"), "At parameter many: Too many arguments in configuration");
  EXPECT_EQ(two[0], 0);
  // Minimum equal to maximum: no range check.
  EXPECT_EQ(UciReadInt(store, "free", 0, 0, "", &v), UCI_OK);
  EXPECT_EQ(v, -77);
}

TEST_F(Uci, FirstEntryOfANameWins) {
  ASSERT_EQ(UciCreate(0, nullptr, &store), UCI_OK);
  UciSetValue(store, "msFac", "2");
  UciSetValue(store, "msFac", "5");
  float f = 1.0f;
  EXPECT_EQ(UciReadFloats(store, "msFac", 1, 0.0f, 10000.0f, "", " ", &f), UCI_OK);
  EXPECT_FLOAT_EQ(f, 2.0f);
}

TEST_F(Uci, OnlyTwentyNamesCountAsSet) {
  ASSERT_EQ(UciCreate(0, nullptr, &store), UCI_OK);
  for (int i = 0; i < 25; ++i) UciSetValue(store, ("o" + std::to_string(i)).c_str(), "1");
  int v = 0;
  EXPECT_EQ(UciReadInt(store, "o19", 0, 1, "", &v), UCI_OK);
  v = 0;
  EXPECT_EQ(UciReadInt(store, "o20", 0, 1, "", &v), UCI_NOT_FOUND);
  EXPECT_EQ(v, 0);
}

TEST_F(Uci, AtMostAThousandEntries) {
  ASSERT_EQ(UciCreate(0, nullptr, &store), UCI_OK);
  for (int i = 0; i < UCI_MAX_ENTRIES; ++i) ASSERT_EQ(UciSetValue(store, "same", "1"), UCI_OK) << i;
  EXPECT_EQ(UciSetValue(store, "same", "1"), UCI_TOO_MANY_ENTRIES);
  UciDestroy(&store);
  std::vector<std::string> words(UCI_MAX_ENTRIES + 1, "w");
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  EXPECT_EQ(UciCreate(int(argv.size()), argv.data(), &store), UCI_TOO_MANY_ENTRIES);
  EXPECT_EQ(store, nullptr);
}

TEST_F(Uci, WordListEntriesNeedAnExplicitSet) {
  const char* words[] = {"-rpmin", "0.5", "loose", "-flag"};
  ASSERT_EQ(UciCreate(4, words, &store), UCI_OK);
  float f = 1.0f;
  // Parsed entries exist but are read only after being set by name.
  EXPECT_EQ(UciReadFloats(store, "rpmin", 1, 0.0f, 1.0f, "", " ", &f), UCI_NOT_FOUND);
  EXPECT_EQ(UciLastResult(store, "rpmin"), UCI_OK);
  EXPECT_EQ(UciLastResult(store, "flag"), UCI_OK);
  UciDestroy(&store);
  const char* loose[] = {"a", "b"};
  ASSERT_EQ(UciCreate(2, loose, &store), UCI_OK);
  EXPECT_EQ(UciLastResult(store, "0"), UCI_OK);
  EXPECT_EQ(UciLastResult(store, "1"), UCI_OK);
}

TEST_F(Uci, ListingModePrintsInsteadOfReading) {
  const char* words[] = {"-h"};
  ASSERT_EQ(UciCreate(1, words, &store), UCI_OK);
  EXPECT_TRUE(UciListing(store));
  int v = 3;
  testing::internal::CaptureStderr();
  EXPECT_EQ(UciReadInt(store, "msDeb", 0, 2, "ms debug mode", &v), UCI_LISTING);
  EXPECT_EQ(UciReadFlag(store, "nobmax", "disable bmax", "the bmax values", &v), UCI_LISTING);
  float f[2];
  EXPECT_EQ(UciReadFloats(store, "x", 2, 0, 1, "two floats", " ", f), UCI_LISTING);
  std::string text = testing::internal::GetCapturedStderr();
  EXPECT_NE(text.find("-msDeb int\t\tms debug mode\n"), std::string::npos);
  EXPECT_NE(text.find("-nobmax\t\t\tdisable bmax\n"), std::string::npos);
  EXPECT_NE(text.find("-x 2*float\t\ttwo floats\n"), std::string::npos);
  EXPECT_EQ(v, 3);
}

}  // namespace
