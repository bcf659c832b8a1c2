#pragma once
// The console targets: each renders a message by its line format into a
// 4096-byte buffer and writes it under its own lock.
#include <cstdio>

#include "logging/log_target.h"

namespace Vorn {

class BaseConsoleLogTarget : public LogTarget {
public:
    const char* Name() const override { return "BaseConsoleLogTarget"; }
    bool Write(const LogMessage& message) override;

protected:
    virtual void WriteLine(const char* line, std::size_t length) = 0;
};

class StdErrLogTarget : public BaseConsoleLogTarget {
public:
    const char* Name() const override { return "StdErrLogTarget"; }
    void Flush() override;
    // Where lines go (standard error unless replaced, e.g. by a test).
    void SetStream(std::FILE* stream);

protected:
    void WriteLine(const char* line, std::size_t length) override;

private:
    std::FILE* stream_ = stderr;
};

class StdOutLogTarget : public BaseConsoleLogTarget {
public:
    const char* Name() const override { return "StdOutLogTarget"; }
    void Flush() override;
    void SetStream(std::FILE* stream);
    void SetFlushEveryLine(bool flush) { flushEveryLine_ = flush; }

protected:
    void WriteLine(const char* line, std::size_t length) override;

private:
    std::FILE* stream_ = stdout;
    bool flushEveryLine_ = false;
};

class DebuggerConsoleLogTarget : public BaseConsoleLogTarget {
public:
    const char* Name() const override { return "DebuggerConsoleLogTarget"; }

protected:
    void WriteLine(const char* line, std::size_t length) override;
};

}  // namespace Vorn
