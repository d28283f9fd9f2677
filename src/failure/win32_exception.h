// Structured exceptions (hardware faults and other system-raised errors) as typed C++
// exceptions, each carrying its code and a full copy of the fault's record and processor state.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

namespace VLM {

class win32_exception : public std::exception {
 public:
  win32_exception();
  explicit win32_exception(const char* message);
  win32_exception(const char* message, unsigned code, EXCEPTION_POINTERS* pointers);
  win32_exception(const win32_exception&) = default;
  win32_exception& operator=(const win32_exception&) = default;
  ~win32_exception() override;

  // The message given at construction, or "Unknown exception" without one.
  const char* what() const noexcept override;

  // Sets the code and, when there are pointers, copies the record (without its chained record)
  // and the processor state.
  void assign(unsigned code, EXCEPTION_POINTERS* pointers);

  bool has_record = false;
  unsigned code = 0;
  EXCEPTION_RECORD record = {};
  CONTEXT context = {};

 private:
  bool has_message = false;
  std::string message;
};

// EXCEPTION_ACCESS_VIOLATION: `code` is always 0xC0000005.
class access_violation : public win32_exception {
 public:
  access_violation();
  explicit access_violation(const char* message);
  access_violation(const char* message, unsigned code, EXCEPTION_POINTERS* pointers);
};

// EXCEPTION_STACK_OVERFLOW: `code` is always 0xC00000FD.
class stack_overflow : public win32_exception {
 public:
  stack_overflow();
  explicit stack_overflow(const char* message);
  stack_overflow(const char* message, unsigned code, EXCEPTION_POINTERS* pointers);
};

}  // namespace VLM
