#include "failure/win32_exception.h"

namespace VLM {
namespace {

constexpr unsigned kAccessViolation = 0xC0000005;
constexpr unsigned kStackOverflow = 0xC00000FD;

}  // namespace

win32_exception::win32_exception() = default;

win32_exception::win32_exception(const char* text)
    : has_message(text != nullptr), message(text ? text : "") {}

win32_exception::win32_exception(const char* text, unsigned exceptionCode,
                                 EXCEPTION_POINTERS* pointers)
    : win32_exception(text) {
  assign(exceptionCode, pointers);
}

win32_exception::~win32_exception() = default;

const char* win32_exception::what() const noexcept {
  return has_message ? message.c_str() : "Unknown exception";
}

void win32_exception::assign(unsigned exceptionCode, EXCEPTION_POINTERS* pointers) {
  code = exceptionCode;
  if (!pointers)
    return;
  if (pointers->ExceptionRecord)
    record = *pointers->ExceptionRecord;
  record.ExceptionRecord = nullptr;
  if (pointers->ContextRecord)
    context = *pointers->ContextRecord;
  has_record = true;
}

access_violation::access_violation() : access_violation("Invalid access to memory location") {}

access_violation::access_violation(const char* text) : win32_exception(text) {
  code = kAccessViolation;
}

access_violation::access_violation(const char* text, unsigned exceptionCode,
                                   EXCEPTION_POINTERS* pointers)
    : win32_exception(text, exceptionCode, pointers) {
  code = kAccessViolation;
}

stack_overflow::stack_overflow() : stack_overflow("stack overflow") {}

stack_overflow::stack_overflow(const char* text) : win32_exception(text) { code = kStackOverflow; }

stack_overflow::stack_overflow(const char* text, unsigned exceptionCode,
                               EXCEPTION_POINTERS* pointers)
    : win32_exception(text, exceptionCode, pointers) {
  code = kStackOverflow;
}

}  // namespace VLM
