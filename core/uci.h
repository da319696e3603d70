// The option store: named tuning options that the encoder's modules read
// while an encoder is being created.
//
// A store belongs to one encoding run: it is created, filled and read while
// that run's encoder is created, and destroyed right after, so runs on
// different threads never share one. Up to UCI_MAX_ENTRIES entries, each with a name,
// a value text (words separated by single blanks), a listed flag, an error
// flag, an error message and the last result code; beside them a list of up
// to UCI_MAX_SET_NAMES names that were set explicitly (UciSetValue).
//
// Readers consider an option only when its name is in the list of explicitly
// set names (in listing mode: always). Absent options leave the caller's
// target untouched and return UCI_NOT_FOUND; a null store gives
// UCI_NO_STORE. In listing mode ("-h" among the words) readers print their
// usage line and help text to stderr instead of reading and return
// UCI_LISTING.
#ifndef TESSEL_CORE_UCI_H
#define TESSEL_CORE_UCI_H

enum UciResult {
  UCI_OK = 0,
  UCI_RANGE = 2,             // "Range Check failed": target unchanged
  UCI_TOO_FEW = 3,           // "Too few arguments in configuration"
  UCI_TOO_MANY = 4,          // "Too many arguments in configuration"
  UCI_TOO_MANY_ENTRIES = 6,  // more than UCI_MAX_ENTRIES entries
  UCI_NOT_FOUND = 8,         // option not in the store (not set)
  UCI_NO_MEMORY = 9,         // no memory, or the handle holds a store already
  UCI_LISTING = 10,          // listing mode: nothing read
  UCI_NO_STORE = 12          // no store created
};

inline constexpr int UCI_MAX_ENTRIES = 1000;
inline constexpr int UCI_MAX_SET_NAMES = 20;
inline constexpr int UCI_MAX_VALUE = 1024;     // characters of a value
inline constexpr int UCI_NAME_COMPARE = 100;   // name characters compared

struct UciStore;   // opaque

// Creates a store in *store from a word list (argv style, argc words; may be
// 0/null). "-h" switches to listing mode; "-name w1 w2 ..." stores
// name = "w1 w2 ..."; a word not starting with '-' and not following an
// option name is stored under its word index printed with "%d". Fails with
// UCI_NO_MEMORY when *store already holds a store (which is kept) or memory
// runs out, UCI_TOO_MANY_ENTRIES for more than UCI_MAX_ENTRIES words; on
// failure a new store is not left behind.
int UciCreate(int argc, const char* const* argv, UciStore** store);

// Adds an entry name = value and remembers the name as explicitly set (the
// first UCI_MAX_SET_NAMES names only). A name set twice keeps the first entry
// for reading.
int UciSetValue(UciStore* store, const char* name, const char* value);

// Flag: sets *target to 1 when the option is present.
int UciReadFlag(UciStore* store, const char* name, const char* help, const char* help2, int* target);
// One integer in [minimum, maximum] (no check when minimum == maximum).
int UciReadInt(UciStore* store, const char* name, int minimum, int maximum, const char* help, int* target);
// `count` integers / floats in [minimum, maximum]; `separator` is shown in the
// listing only. Targets are unchanged unless every word is read and in range.
int UciReadInts(UciStore* store, const char* name, int count, int minimum, int maximum, const char* help, const char* separator,
                int* target);
int UciReadFloats(UciStore* store, const char* name, int count, float minimum, float maximum, const char* help,
                  const char* separator, float* target);

// The error message of the first entry of that name ("" if none; never null)
// and its last result code (UCI_NOT_FOUND when there is no such entry).
const char* UciErrorMessage(const UciStore* store, const char* name);
int UciLastResult(const UciStore* store, const char* name);
// Non-zero while the store is in listing mode.
int UciListing(const UciStore* store);

// Frees every entry and both lists and clears *store. Safe without a store.
void UciDestroy(UciStore** store);

#endif
