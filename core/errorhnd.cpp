#include "core/errorhnd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char kStaticFile[] = "errorhnd.c";
char kStaticContext[] = "error()";
char kStaticMessage[] = "errorhnd.c: the error handler has run out of memory";
ErrorRecord g_outOfMemory = {kStaticFile, 0, kStaticContext, kStaticMessage, nullptr};

char* CopyText(const char* text) {
  if (!text) return nullptr;
  size_t n = std::strlen(text);
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (copy) std::memcpy(copy, text, n + 1);
  return copy;
}

const char* BaseName(const char* file) {
  if (!file) return "";
  const char* base = file;
  for (const char* p = file; *p; ++p) {
    if (*p == '\\' || *p == '/') base = p + 1;
  }
  return base;
}

void FreeRecord(ErrorRecord* r) {
  std::free(r->file);
  std::free(r->context);
  std::free(r->message);
  std::free(r);
}

// Builds one record; null when any allocation fails (nothing leaks).
ErrorRecord* NewRecord(const char* file, int line, const char* context, const char* message, va_list args) {
  ErrorRecord* r = static_cast<ErrorRecord*>(std::calloc(1, sizeof(ErrorRecord)));
  if (!r) return nullptr;
  r->line = line;
  r->file = CopyText(BaseName(file));
  bool ok = r->file != nullptr;
  if (ok && context) ok = (r->context = CopyText(context)) != nullptr;
  if (ok && message) {
    r->message = static_cast<char*>(std::malloc(ERROR_MESSAGE_MAX + 1));
    ok = r->message != nullptr;
    if (ok) std::vsnprintf(r->message, ERROR_MESSAGE_MAX + 1, message, args);
  }
  if (!ok) {
    FreeRecord(r);
    return nullptr;
  }
  return r;
}

}  // namespace

ErrorRecord* ErrorCreateV(const char* file, int line, const char* context, const char* message, va_list args) {
  ErrorRecord* r = NewRecord(file, line, context, message, args);
  return r ? r : &g_outOfMemory;
}

ErrorRecord* ErrorCreate(const char* file, int line, const char* context, const char* message, ...) {
  va_list args;
  va_start(args, message);
  ErrorRecord* r = ErrorCreateV(file, line, context, message, args);
  va_end(args);
  return r;
}

ErrorRecord* ErrorAppend(ErrorRecord* chain, const char* file, int line, const char* context) {
  if (!chain) return nullptr;
  // The static record must stay a chain of one: it is shared and never freed.
  if (chain == &g_outOfMemory) return chain;
  va_list none{};
  ErrorRecord* r = NewRecord(file, line, context, nullptr, none);
  if (!r) return chain;
  ErrorRecord* last = chain;
  while (last->next) last = last->next;
  last->next = r;
  return chain;
}

void ErrorFree(ErrorRecord* chain) {
  while (chain && chain != &g_outOfMemory) {
    ErrorRecord* next = chain->next;
    FreeRecord(chain);
    chain = next;
  }
}

const ErrorRecord* ErrorOutOfMemoryRecord() { return &g_outOfMemory; }

int ErrorChainLength(const ErrorRecord* chain) {
  int n = 0;
  for (; chain; chain = chain->next) ++n;
  return n;
}

const char* ErrorFirstMessage(const ErrorRecord* chain) {
  for (; chain; chain = chain->next) {
    if (chain->message) return chain->message;
  }
  return "";
}
