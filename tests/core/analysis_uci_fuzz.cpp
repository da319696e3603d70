// Fuzz target: word lists for the option store and texts for the error chain.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/errorhnd.h"
#include "core/uci.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Words are separated by newlines.
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> words;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\n') {
      words.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  UciStore* store = nullptr;
  if (UciCreate(int(argv.size()), argv.data(), &store) == UCI_OK) {
    for (size_t i = 0; i + 1 < words.size(); i += 2) UciSetValue(store, words[i].c_str(), words[i + 1].c_str());
    int flag = 0, one = 0, ints[3] = {0, 0, 0};
    float floats[2] = {0, 0};
    for (const std::string& w : words) {
      UciReadFlag(store, w.c_str(), "h", "h2", &flag);
      UciReadInt(store, w.c_str(), 0, 10, "h", &one);
      UciReadInts(store, w.c_str(), 3, -5, 5, "h", " ", ints);
      UciReadFloats(store, w.c_str(), 2, 0.0f, 1.0f, "h", " ", floats);
      (void)UciErrorMessage(store, w.c_str());
    }
    UciDestroy(&store);
  }
  ErrorRecord* e = ErrorCreate(text.c_str(), 1, text.c_str(), "%s", text.c_str());
  e = ErrorAppend(e, text.c_str(), 2, text.c_str());
  ErrorFree(e);
  return 0;
}
