#include "logging/logger.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/process_info.h"

namespace Vorn {

namespace {

// The logger's critical section. It guards the logger's existence as well as
// its fields, so it must outlive every logger: it is built on first use and
// never destroyed (messages may still be logged during process exit).
Platform::RecursiveLock& LoggerLock() {
    alignas(Platform::RecursiveLock) static unsigned char storage[sizeof(Platform::RecursiveLock)];
    static Platform::RecursiveLock* lock = new (storage) Platform::RecursiveLock();
    return *lock;
}

Logger* g_logger = nullptr;
std::atomic<int32_t> g_references{0};

using Guard = std::lock_guard<Platform::RecursiveLock>;

LogTargetConfig BuiltInConfig(uint64_t include, uint64_t exclude, const char* format) {
    LogTargetConfig config;
    config.minimumLevel = kLogWarn;
    config.includeGroups = include & ~exclude;
    config.excludeGroups = exclude;
    config.format = format;
    return config;
}

}  // namespace

Logger::Logger() {
    // Built-in settings are stored directly: Configure would re-enter the
    // logger that is being created.
    stdErr_.config_ = BuiltInConfig(kLogGroupDBG, kLogGroupGEN, "#E(#T): #L| #M");
    stdOut_.config_ = BuiltInConfig(kLogGroupGEN, kLogGroupDBG, "#M");
    debugger_.config_ = BuiltInConfig(kLogGroupDBG, 0, "#E(#T): #L| #M");
}

Logger::~Logger() = default;

Logger& Logger::Instance() {
    Guard guard(LoggerLock());
    if (g_logger == nullptr) {
        // Published only once whole: when memory runs out while its targets
        // are attached, the next call tries again rather than finding a
        // logger that writes nowhere (the failure's own line included).
        auto* logger = new Logger();
        try {
            logger->Attach(&logger->stdErr_);
            logger->Attach(&logger->debugger_);
        } catch (...) {
            delete logger;
            throw;
        }
        g_logger = logger;
    }
    return *g_logger;
}

bool Logger::Exists() {
    Guard guard(LoggerLock());
    return g_logger != nullptr;
}

void Logger::AddReference() {
    Guard guard(LoggerLock());
    Instance();
    g_references.fetch_add(1);
}

void Logger::ReleaseReference() {
    Guard guard(LoggerLock());
    if (g_references.load() <= 0) return;  // unbalanced release: ignore rather than destroy twice
    if (g_references.fetch_sub(1) == 1) DestroyLocked();
}

int32_t Logger::ReferenceCount() { return g_references.load(); }

void Logger::DestroyLocked() {
    Logger* logger = g_logger;
    if (logger == nullptr) return;
    while (!logger->targets_.empty()) {
        LogTarget* target = logger->targets_.back();
        logger->targets_.pop_back();
        target->attached_ = false;
    }
    g_logger = nullptr;
    delete logger;  // the built-in targets go with it
}

void Logger::SetMinimumLevel(int32_t level) {
    Guard guard(LoggerLock());
    minimumLevel_ = level;
}

int32_t Logger::MinimumLevel() const {
    Guard guard(LoggerLock());
    return minimumLevel_;
}

void Logger::SetSuppressedGroups(uint64_t groups) {
    Guard guard(LoggerLock());
    suppressedGroups_ = groups;
}

uint64_t Logger::SuppressedGroups() const {
    Guard guard(LoggerLock());
    return suppressedGroups_;
}

void Logger::SetMuted(bool muted) {
    Guard guard(LoggerLock());
    muted_ = muted;
}

bool Logger::Muted() const {
    Guard guard(LoggerLock());
    return muted_;
}

void Logger::Attach(LogTarget* target) {
    Guard guard(LoggerLock());
    if (target == nullptr || std::find(targets_.begin(), targets_.end(), target) != targets_.end()) return;
    targets_.push_back(target);
    target->attached_ = true;
}

void Logger::Detach(LogTarget* target) {
    Guard guard(LoggerLock());
    auto it = std::find(targets_.begin(), targets_.end(), target);
    if (it != targets_.end()) targets_.erase(it);
    if (target != nullptr) target->attached_ = false;
}

LogTarget* Logger::FindTarget(const char* name) const {
    Guard guard(LoggerLock());
    for (LogTarget* target : targets_) {
        if (std::strcmp(target->Name(), name) == 0) return target;
    }
    return nullptr;
}

std::vector<LogTarget*> Logger::AttachedTargets() const {
    Guard guard(LoggerLock());
    return targets_;
}

const char* Logger::ExecutableName() { return Platform::ExecutableFileName(); }

bool Logger::Passes(int32_t level, uint64_t groups) const {
    Guard guard(LoggerLock());
    return !muted_ && level >= minimumLevel_ && (groups & suppressedGroups_) == 0;
}

void Logger::Dispatch(const LogMessage& message) {
    Guard guard(LoggerLock());
    for (LogTarget* target : targets_) {
        if (target->Accepts(message.level, message.groups)) target->Write(message);
    }
}

void Logger::AttachToModuleLogger(LogTarget* target) { Instance().Attach(target); }

void Logger::DetachFromModuleLogger(LogTarget* target) {
    Guard guard(LoggerLock());
    if (g_logger != nullptr) {
        g_logger->Detach(target);
    } else if (target != nullptr) {
        target->attached_ = false;
    }
}

void LogV(int32_t level, uint32_t groupsLow, uint32_t groupsHigh, const char* format, va_list args) {
    const uint64_t groups = (static_cast<uint64_t>(groupsHigh) << 32) | groupsLow;
    Guard guard(LoggerLock());
    Logger& logger = Logger::Instance();
    if (!logger.Passes(level, groups)) return;
    LogMessage message;
    message.level = level;
    message.groups = groups;
    std::vsnprintf(message.text, sizeof(message.text), format != nullptr ? format : "", args);
    message.time = Platform::LocalTimeNow();
    logger.Dispatch(message);
}

void Log(int32_t level, uint32_t groupsLow, uint32_t groupsHigh, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogV(level, groupsLow, groupsHigh, format, args);
    va_end(args);
}

std::string FileNameTimestamp(const Platform::LocalTime& t) {
    char text[64];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d-%02d-%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

}  // namespace Vorn
