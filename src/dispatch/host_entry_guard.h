#pragma once
// The one guard of every entry the host calls (the export, start, stop,
// memory statistics, event, task and stream callbacks, and the calls of
// exposed functions with their response and stream functions, which live in
// this layer, so the guard does too): no C++ exception may
// cross into the host, which cannot unwind our frames. A failure is logged as
// one ERROR line naming the entry, and the entry returns its failure value.
#include <exception>
#include <new>
#include <utility>

namespace Vorn {

// Logs "<entry> failed: <what>" at ERROR; never throws.
void LogHostEntryFailure(const char* entry, const char* what) noexcept;

template <typename Result, typename Body>
Result GuardHostEntry(const char* entry, Result failure, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (const std::exception& error) {
        LogHostEntryFailure(entry, error.what());
    } catch (...) {
        LogHostEntryFailure(entry, "unknown exception");
    }
    return failure;
}

template <typename Body>
void GuardHostEntry(const char* entry, Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (const std::exception& error) {
        LogHostEntryFailure(entry, error.what());
    } catch (...) {
        LogHostEntryFailure(entry, "unknown exception");
    }
}

}  // namespace Vorn
