#include "failure/translate.h"

#include "failure/win32_exception.h"

void TranslateStructuredException(unsigned code, EXCEPTION_POINTERS* pointers) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: {
      VLM::access_violation error("Invalid access to memory location", code, pointers);
      throw error;
    }
    case EXCEPTION_STACK_OVERFLOW: {
      VLM::stack_overflow error("Recursion too deep; the stack overflowed", code, pointers);
      throw error;
    }
    default: {
      VLM::win32_exception error("Windows structured exception", code, pointers);
      throw error;
    }
  }
}
