// QM_ASSERT(Condition): checks a stated precondition or invariant in debug builds. A failed check
// prints the condition with its file and line to standard error and aborts; in release builds the
// condition is not evaluated (it is still compiled, so it cannot rot). Use it for what a caller
// has promised, never for input from files or users, which must be refused with an exception.
//
// Checks are on when NDEBUG is not defined; QM_ASSERTIONS=1 or 0 overrides that.
#pragma once

#ifndef QM_ASSERTIONS
#ifdef NDEBUG
#define QM_ASSERTIONS 0
#else
#define QM_ASSERTIONS 1
#endif
#endif

namespace qm::detail {

// Writes "File:Line: assertion failed: Condition" to standard error and aborts.
[[noreturn]] void AssertionFailed(const char* Condition, const char* File, int Line) noexcept;

}  // namespace qm::detail

#if QM_ASSERTIONS
#define QM_ASSERT(Condition)            \
    ((Condition) ? static_cast<void>(0) \
                 : ::qm::detail::AssertionFailed(#Condition, __FILE__, __LINE__))
#else
#define QM_ASSERT(Condition) static_cast<void>(sizeof(static_cast<bool>(Condition)))
#endif
