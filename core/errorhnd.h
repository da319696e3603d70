// Error chains of the encoder library.
//
// Every function of the encoder that can fail returns an ErrorRecord chain
// (null means success) and delivers its results through out-parameters. The
// function that detects a fault creates the first record with its file, line
// and message; every caller that receives a non-null chain appends its own
// place with ErrorAppend and passes the chain on; the outermost caller turns
// the chain into a result code and frees it with ErrorFree.
//
// The handler itself never fails: when a record cannot be allocated it hands
// out one static record (file "errorhnd.c", line 0, context "error()",
// message "errorhnd.c: the error handler has run out of memory"), which
// ErrorFree recognises and never frees.
//
// Not thread-safe beyond what malloc is; chains belong to one caller.
#ifndef TESSEL_CORE_ERRORHND_H
#define TESSEL_CORE_ERRORHND_H

#include <cstdarg>

struct ErrorRecord {
  char* file;          // base name of the source file (own copy)
  int line;            // source line
  char* context;       // own copy, may be null
  char* message;       // own copy, formatted, at most ERROR_MESSAGE_MAX chars; null in trace records
  ErrorRecord* next;   // next (outer) record, null at the end of the chain
};

inline constexpr int ERROR_MESSAGE_MAX = 200;

// Creates the first record of a chain. `file` is cut to its base name (after
// the last '/' or '\\'); `message` is a printf format (may be null).
ErrorRecord* ErrorCreate(const char* file, int line, const char* context, const char* message, ...)
    __attribute__((format(printf, 4, 5)));
ErrorRecord* ErrorCreateV(const char* file, int line, const char* context, const char* message, va_list args);

// Appends a trace record (file, line, context; no message) at the end of
// `chain` and returns the chain. A null chain is returned unchanged (nothing
// to pass on). When no memory is left the chain is returned as it is.
ErrorRecord* ErrorAppend(ErrorRecord* chain, const char* file, int line, const char* context);

// Frees every record of the chain and its texts. Null and the static
// out-of-memory record are no-ops.
void ErrorFree(ErrorRecord* chain);

// The static out-of-memory record (for tests and for comparisons).
const ErrorRecord* ErrorOutOfMemoryRecord();

// Number of records in a chain (0 for null).
int ErrorChainLength(const ErrorRecord* chain);

// The message of the first record that has one, or "" (never null).
const char* ErrorFirstMessage(const ErrorRecord* chain);

// Convenience: record the current place.
#define ERROR_NEW(context, ...) ErrorCreate(__FILE__, __LINE__, (context), __VA_ARGS__)
#define ERROR_PASS(chain, context) ErrorAppend((chain), __FILE__, __LINE__, (context))

#endif
