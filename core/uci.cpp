#include "core/uci.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

struct UciEntry {
  char* name;
  char* value;
  int listed;
  int error;
  char* errorMessage;
  int result;
};

struct UciStore {
  UciEntry* entries;     // UCI_MAX_ENTRIES
  int count;
  char* setNames[UCI_MAX_SET_NAMES];
  int setCount;
  int listing;
};

namespace {

char* CopyText(const char* text) {
  size_t n = std::strlen(text);
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (copy) std::memcpy(copy, text, n + 1);
  return copy;
}

int AddEntry(UciStore* store, const char* name, const char* value) {
  if (store->count >= UCI_MAX_ENTRIES) return UCI_TOO_MANY_ENTRIES;
  UciEntry& e = store->entries[store->count];
  e = UciEntry{};
  e.name = CopyText(name);
  e.value = CopyText(value);
  if (!e.name || !e.value) {
    std::free(e.name);
    std::free(e.value);
    e = UciEntry{};
    return UCI_NO_MEMORY;
  }
  ++store->count;
  return UCI_OK;
}

UciEntry* Find(const UciStore* store, const char* name) {
  for (int i = 0; i < store->count; ++i) {
    if (std::strncmp(store->entries[i].name, name, UCI_NAME_COMPARE) == 0) return &store->entries[i];
  }
  return nullptr;
}

bool ExplicitlySet(const UciStore* store, const char* name) {
  for (int i = 0; i < store->setCount; ++i) {
    if (std::strncmp(store->setNames[i], name, UCI_NAME_COMPARE) == 0) return true;
  }
  return false;
}

// Records a reader's failure on the entry: "At parameter <name>: <text>".
int Fail(UciEntry* e, int code, const char* text) {
  char buffer[UCI_NAME_COMPARE + 160];
  std::snprintf(buffer, sizeof buffer, "At parameter %.100s: %s", e->name, text);
  std::free(e->errorMessage);
  e->errorMessage = CopyText(buffer);
  e->error = 1;
  e->result = code;
  return code;
}

// Common front part of every reader. Returns UCI_OK with *entry set when the
// value is to be read; any other code is the reader's result.
int Lookup(UciStore* store, const char* name, UciEntry** entry) {
  if (!store) return UCI_NO_STORE;
  if (store->listing) return UCI_LISTING;
  if (!name || !ExplicitlySet(store, name)) return UCI_NOT_FOUND;
  UciEntry* e = Find(store, name);
  if (!e) return UCI_NOT_FOUND;
  e->listed = 1;
  *entry = e;
  return UCI_OK;
}

// Splits the value into at most `max` words (copied into `storage`).
int SplitWords(const char* value, char* storage, size_t storageSize, char** words, int max) {
  std::snprintf(storage, storageSize, "%s", value);
  int n = 0;
  char* p = storage;
  while (*p) {
    while (*p == ' ') *p++ = '\0';
    if (!*p) break;
    if (n < max) words[n] = p;
    ++n;
    while (*p && *p != ' ') ++p;
  }
  return n;
}

template <typename T>
int ReadNumbers(UciStore* store, const char* name, int count, T minimum, T maximum, T* target, bool isFloat) {
  UciEntry* e = nullptr;
  int rc = Lookup(store, name, &e);
  if (rc != UCI_OK) return rc;
  if (count <= 0) return e->result = UCI_OK;
  char storage[UCI_MAX_VALUE + 1];
  char* words[65];
  int maxWords = count < 64 ? count : 64;
  int n = SplitWords(e->value, storage, sizeof storage, words, maxWords + 1);
  if (n < count) return Fail(e, UCI_TOO_FEW, "Too few arguments in configuration");
  if (n > count) return Fail(e, UCI_TOO_MANY, "Too many arguments in configuration");
  T parsed[64];
  for (int i = 0; i < count; ++i) {
    char* end = nullptr;
    if (isFloat) {
      parsed[i] = static_cast<T>(std::strtod(words[i], &end));
    } else {
      parsed[i] = static_cast<T>(std::strtol(words[i], &end, 10));
    }
    bool bad = end == words[i] || *end != '\0';
    if (bad || (minimum != maximum && (parsed[i] < minimum || parsed[i] > maximum))) {
      return Fail(e, UCI_RANGE, "Range Check failed");
    }
  }
  for (int i = 0; i < count; ++i) target[i] = parsed[i];
  e->error = 0;
  return e->result = UCI_OK;
}

}  // namespace

int UciCreate(int argc, const char* const* argv, UciStore** store) {
  if (!store || *store) return UCI_NO_MEMORY;
  UciStore* s = static_cast<UciStore*>(std::calloc(1, sizeof(UciStore)));
  if (!s) return UCI_NO_MEMORY;
  s->entries = static_cast<UciEntry*>(std::calloc(UCI_MAX_ENTRIES, sizeof(UciEntry)));
  if (!s->entries) {
    std::free(s);
    return UCI_NO_MEMORY;
  }
  for (int i = 0; i < argc && argv; ++i) {
    const char* word = argv[i];
    if (!word) continue;
    int rc = UCI_OK;
    if (std::strcmp(word, "-h") == 0) {
      s->listing = 1;
      continue;
    }
    if (word[0] == '-') {
      char value[UCI_MAX_VALUE + 1] = "";
      size_t used = 0;
      int j = i + 1;
      for (; j < argc && argv[j] && argv[j][0] != '-'; ++j) {
        size_t len = std::strlen(argv[j]);
        size_t sep = used ? 1 : 0;
        if (used + sep + len > UCI_MAX_VALUE) break;  // the value stops at 1024 characters
        if (sep) value[used++] = ' ';
        std::memcpy(value + used, argv[j], len);
        used += len;
        value[used] = '\0';
      }
      rc = AddEntry(s, word + 1, value);
      i = j - 1;
    } else {
      char index[16];
      std::snprintf(index, sizeof index, "%d", i);
      rc = AddEntry(s, index, word);
    }
    if (rc != UCI_OK) {
      UciDestroy(&s);
      return rc;
    }
  }
  *store = s;
  return UCI_OK;
}

int UciSetValue(UciStore* store, const char* name, const char* value) {
  if (!store) return UCI_NO_STORE;
  if (!name || !value) return UCI_NOT_FOUND;
  int rc = AddEntry(store, name, value);
  if (rc != UCI_OK) return rc;
  if (store->setCount < UCI_MAX_SET_NAMES && !ExplicitlySet(store, name)) {
    char* copy = CopyText(name);
    if (!copy) return UCI_NO_MEMORY;
    store->setNames[store->setCount++] = copy;
  }
  return UCI_OK;
}

int UciReadFlag(UciStore* store, const char* name, const char* help, const char* help2, int* target) {
  if (store && store->listing) {
    std::fprintf(stderr, "-%s\t\t\t", name);
    std::fprintf(stderr, "%s\n", help ? help : "");
    if (help2) std::fprintf(stderr, "%s\n", help2);
    return UCI_LISTING;
  }
  UciEntry* e = nullptr;
  int rc = Lookup(store, name, &e);
  if (rc != UCI_OK) return rc;
  if (target) *target = 1;
  return e->result = UCI_OK;
}

int UciReadInt(UciStore* store, const char* name, int minimum, int maximum, const char* help, int* target) {
  if (store && store->listing) {
    std::fprintf(stderr, "-%s int\t\t", name);
    std::fprintf(stderr, "%s\n", help ? help : "");
    return UCI_LISTING;
  }
  return ReadNumbers<int>(store, name, 1, minimum, maximum, target, false);
}

int UciReadInts(UciStore* store, const char* name, int count, int minimum, int maximum, const char* help,
                const char*, int* target) {
  if (store && store->listing) {
    std::fprintf(stderr, "-%s %d*int\t\t", name, count);
    std::fprintf(stderr, "%s\n", help ? help : "");
    return UCI_LISTING;
  }
  if (count > 64) return UCI_TOO_MANY;
  return ReadNumbers<int>(store, name, count, minimum, maximum, target, false);
}

int UciReadFloats(UciStore* store, const char* name, int count, float minimum, float maximum, const char* help,
                  const char*, float* target) {
  if (store && store->listing) {
    std::fprintf(stderr, "-%s %d*float\t\t", name, count);
    std::fprintf(stderr, "%s\n", help ? help : "");
    return UCI_LISTING;
  }
  if (count > 64) return UCI_TOO_MANY;
  return ReadNumbers<float>(store, name, count, minimum, maximum, target, true);
}

const char* UciErrorMessage(const UciStore* store, const char* name) {
  if (!store || !name) return "";
  UciEntry* e = Find(store, name);
  return e && e->errorMessage ? e->errorMessage : "";
}

int UciLastResult(const UciStore* store, const char* name) {
  if (!store || !name) return UCI_NO_STORE;
  UciEntry* e = Find(store, name);
  return e ? e->result : UCI_NOT_FOUND;
}

int UciListing(const UciStore* store) { return store && store->listing; }

void UciDestroy(UciStore** store) {
  if (!store || !*store) return;
  UciStore* s = *store;
  for (int i = 0; i < s->count; ++i) {
    std::free(s->entries[i].name);
    std::free(s->entries[i].value);
    std::free(s->entries[i].errorMessage);
  }
  for (int i = 0; i < s->setCount; ++i) std::free(s->setNames[i]);
  std::free(s->entries);
  std::free(s);
  *store = nullptr;
}
