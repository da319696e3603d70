#include "core/uci.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

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

UciStore* g_store = nullptr;

char* CopyText(const char* text) {
  size_t n = std::strlen(text);
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (copy) std::memcpy(copy, text, n + 1);
  return copy;
}

int AddEntry(const char* name, const char* value) {
  if (g_store->count >= UCI_MAX_ENTRIES) return UCI_TOO_MANY_ENTRIES;
  UciEntry& e = g_store->entries[g_store->count];
  e = UciEntry{};
  e.name = CopyText(name);
  e.value = CopyText(value);
  if (!e.name || !e.value) {
    std::free(e.name);
    std::free(e.value);
    e = UciEntry{};
    return UCI_NO_MEMORY;
  }
  ++g_store->count;
  return UCI_OK;
}

UciEntry* Find(const char* name) {
  for (int i = 0; i < g_store->count; ++i) {
    if (std::strncmp(g_store->entries[i].name, name, UCI_NAME_COMPARE) == 0) return &g_store->entries[i];
  }
  return nullptr;
}

bool ExplicitlySet(const char* name) {
  for (int i = 0; i < g_store->setCount; ++i) {
    if (std::strncmp(g_store->setNames[i], name, UCI_NAME_COMPARE) == 0) return true;
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
int Lookup(const char* name, UciEntry** entry) {
  if (!g_store) return UCI_NO_STORE;
  if (g_store->listing) return UCI_LISTING;
  if (!ExplicitlySet(name)) return UCI_NOT_FOUND;
  UciEntry* e = Find(name);
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
int ReadNumbers(const char* name, int count, T minimum, T maximum, T* target, bool isFloat) {
  UciEntry* e = nullptr;
  int rc = Lookup(name, &e);
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

int UciCreate(int argc, const char* const* argv) {
  if (g_store) return UCI_NO_MEMORY;
  g_store = static_cast<UciStore*>(std::calloc(1, sizeof(UciStore)));
  if (!g_store) return UCI_NO_MEMORY;
  g_store->entries = static_cast<UciEntry*>(std::calloc(UCI_MAX_ENTRIES, sizeof(UciEntry)));
  if (!g_store->entries) {
    std::free(g_store);
    g_store = nullptr;
    return UCI_NO_MEMORY;
  }
  for (int i = 0; i < argc && argv; ++i) {
    const char* word = argv[i];
    if (!word) continue;
    int rc = UCI_OK;
    if (std::strcmp(word, "-h") == 0) {
      g_store->listing = 1;
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
      rc = AddEntry(word + 1, value);
      i = j - 1;
    } else {
      char index[16];
      std::snprintf(index, sizeof index, "%d", i);
      rc = AddEntry(index, word);
    }
    if (rc != UCI_OK) {
      UciDestroy();
      return rc;
    }
  }
  return UCI_OK;
}

int UciSetValue(const char* name, const char* value) {
  if (!g_store) return UCI_NO_STORE;
  if (!name || !value) return UCI_NOT_FOUND;
  int rc = AddEntry(name, value);
  if (rc != UCI_OK) return rc;
  if (g_store->setCount < UCI_MAX_SET_NAMES && !ExplicitlySet(name)) {
    char* copy = CopyText(name);
    if (!copy) return UCI_NO_MEMORY;
    g_store->setNames[g_store->setCount++] = copy;
  }
  return UCI_OK;
}

int UciReadFlag(const char* name, const char* help, const char* help2, int* target) {
  if (g_store && g_store->listing) {
    std::fprintf(stderr, "-%s\t\t\t", name);
    std::fprintf(stderr, "%s\n", help ? help : "");
    if (help2) std::fprintf(stderr, "%s\n", help2);
    return UCI_LISTING;
  }
  UciEntry* e = nullptr;
  int rc = Lookup(name, &e);
  if (rc != UCI_OK) return rc;
  if (target) *target = 1;
  return e->result = UCI_OK;
}

int UciReadInt(const char* name, int minimum, int maximum, const char* help, int* target) {
  if (g_store && g_store->listing) {
    std::fprintf(stderr, "-%s int\t\t", name);
    std::fprintf(stderr, "%s\n", help ? help : "");
    return UCI_LISTING;
  }
  return ReadNumbers<int>(name, 1, minimum, maximum, target, false);
}

int UciReadInts(const char* name, int count, int minimum, int maximum, const char* help, const char*,
                int* target) {
  if (g_store && g_store->listing) {
    std::fprintf(stderr, "-%s %d*int\t\t", name, count);
    std::fprintf(stderr, "%s\n", help ? help : "");
    return UCI_LISTING;
  }
  if (count > 64) return UCI_TOO_MANY;
  return ReadNumbers<int>(name, count, minimum, maximum, target, false);
}

int UciReadFloats(const char* name, int count, float minimum, float maximum, const char* help, const char*,
                  float* target) {
  if (g_store && g_store->listing) {
    std::fprintf(stderr, "-%s %d*float\t\t", name, count);
    std::fprintf(stderr, "%s\n", help ? help : "");
    return UCI_LISTING;
  }
  if (count > 64) return UCI_TOO_MANY;
  return ReadNumbers<float>(name, count, minimum, maximum, target, true);
}

const char* UciErrorMessage(const char* name) {
  if (!g_store || !name) return "";
  UciEntry* e = Find(name);
  return e && e->errorMessage ? e->errorMessage : "";
}

int UciLastResult(const char* name) {
  if (!g_store || !name) return UCI_NO_STORE;
  UciEntry* e = Find(name);
  return e ? e->result : UCI_NOT_FOUND;
}

int UciExists() { return g_store != nullptr; }
int UciListing() { return g_store && g_store->listing; }

void UciDestroy() {
  if (!g_store) return;
  for (int i = 0; i < g_store->count; ++i) {
    std::free(g_store->entries[i].name);
    std::free(g_store->entries[i].value);
    std::free(g_store->entries[i].errorMessage);
  }
  for (int i = 0; i < g_store->setCount; ++i) std::free(g_store->setNames[i]);
  std::free(g_store->entries);
  std::free(g_store);
  g_store = nullptr;
}
