#pragma once
// A console target that keeps its rendered lines, for tests.
#include <mutex>
#include <string>
#include <vector>

#include "logging/console_log_targets.h"

namespace Vorn::Testing {

class RecordingLogTarget : public BaseConsoleLogTarget {
public:
    const char* Name() const override { return "RecordingLogTarget"; }

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return lines_;
    }

protected:
    void WriteLine(const char* line, std::size_t length) override {
        std::lock_guard<std::mutex> guard(mutex_);
        lines_.emplace_back(line, length);
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace Vorn::Testing
