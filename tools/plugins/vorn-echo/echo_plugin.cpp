// vorn-echo: every function answers with a structure holding each of its
// arguments as the function received it, converted back into a value, under
// the argument's name. Optional arguments that came with nothing hold their
// type's default.
#include <cstdint>
#include <string>
#include <utility>

#include "plugin/plugin_loader.h"

namespace Vorn::Echo {

struct EchoResult {
    std::string id;
    int32_t count = 0;
    bool verbose = false;
    BindingProperty filter;
    std::string trace;
};

struct SubmitResult {
    BindingProperty payload;
    std::string tag;
};

struct FilesResult {
    std::string path;
};

struct PingResult {};

}  // namespace Vorn::Echo

namespace Vorn {

template <>
struct BindingDescriptor<Echo::EchoResult> {
    using T = Echo::EchoResult;
    static constexpr const char* kName = "EchoResult";
    static constexpr const char* kDescription = "The arguments of Echo, as received.";
    static constexpr auto kFields =
        std::make_tuple(BindingField("id", &T::id), BindingField("count", &T::count),
                        BindingField("verbose", &T::verbose), BindingField("filter", &T::filter),
                        BindingField("trace", &T::trace));
};

template <>
struct BindingDescriptor<Echo::SubmitResult> {
    using T = Echo::SubmitResult;
    static constexpr const char* kName = "SubmitResult";
    static constexpr const char* kDescription = "The arguments of Submit, as received.";
    static constexpr auto kFields = std::make_tuple(BindingField("payload", &T::payload), BindingField("tag", &T::tag));
};

template <>
struct BindingDescriptor<Echo::FilesResult> {
    using T = Echo::FilesResult;
    static constexpr const char* kName = "FilesResult";
    static constexpr const char* kDescription = "The argument of Files, as received.";
    static constexpr auto kFields = std::make_tuple(BindingField("path", &T::path));
};

template <>
struct BindingDescriptor<Echo::PingResult> {
    static constexpr const char* kName = "PingResult";
    static constexpr const char* kDescription = "Nothing: Ping takes no arguments.";
    static constexpr auto kFields = std::make_tuple();
};

}  // namespace Vorn

namespace Vorn::Echo {

class EchoPlugin : public PluginBase {
public:
    void RegisterTypes() override {
        RegisterBindingType<EchoResult>(Registry(), TypeNamePrefix());
        RegisterBindingType<SubmitResult>(Registry(), TypeNamePrefix());
        RegisterBindingType<FilesResult>(Registry(), TypeNamePrefix());
        RegisterBindingType<PingResult>(Registry(), TypeNamePrefix());

        Expose({.name = "Echo",
                .pathTemplate = "/echo/v1/items/{id}",
                .method = kHostMethodGet,
                .arguments = {{.name = "id", .location = ArgumentLocation::Path, .description = "The item, from the path"},
                              {.name = "count",
                               .location = ArgumentLocation::Query,
                               .optional = true,
                               .description = "A number, from the query"},
                              {.name = "verbose", .description = "A switch, from anywhere; off unless given"},
                              {.name = "filter", .optional = true, .description = "Any value, from anywhere"},
                              {.name = "trace",
                               .location = ArgumentLocation::Header,
                               .optional = true,
                               .description = "A text, from the header of that name"}},
                .description = "Answers with its arguments.",
                // It reads nothing but its arguments: hosts may call it from
                // several threads at once.
                .threadSafe = true,
                .tags = {"echo"}},
               &EchoPlugin::Echo);
        Expose({.name = "Submit",
                .pathTemplate = "/echo/v1/submit",
                .method = kHostMethodPost,
                .arguments = {{.name = "payload", .location = ArgumentLocation::Body, .description = "The body"},
                              {.name = "tag", .optional = true, .description = "A text, from anywhere"}},
                .description = "Answers with the body it was sent and its tag.",
                .tags = {"echo"}},
               &EchoPlugin::Submit);
        Expose({.name = "Files",
                .pathTemplate = "/echo/v1/files/{+path}",
                .method = kHostMethodGet,
                .arguments = {{.name = "path", .location = ArgumentLocation::Path, .description = "The rest of the path"}},
                .description = "Answers with the rest of its path.",
                .tags = {"echo"}},
               &EchoPlugin::Files);
        Expose({.name = "Ping", .description = "Answers with an empty structure.", .tags = {"echo"}}, &EchoPlugin::Ping);
    }

private:
    EchoResult Echo(std::string id, int32_t count, bool verbose, BindingProperty filter, std::string trace) const {
        return {std::move(id), count, verbose, std::move(filter), std::move(trace)};
    }
    SubmitResult Submit(BindingProperty payload, std::string tag) const { return {std::move(payload), std::move(tag)}; }
    FilesResult Files(std::string path) const { return {std::move(path)}; }
    PingResult Ping() const { return {}; }
};

}  // namespace Vorn::Echo

VORN_PLUGIN_ENTRY(load_vorn_echo, Vorn::Echo::EchoPlugin, "vorn-echo")
