// my-plugin: a small, complete plug-in. It keeps a greeting that the host's
// resource "/my-plugin/v1/greeting" sets, counts the minutes it has been
// running, and exposes one function, Hello, that greets by name.
#include <cstdint>
#include <string>

#include "logging/logger.h"
#include "plugin/plugin_loader.h"

namespace MyPlugin {

// A record the plug-in exchanges with the host: registered below, it converts
// to and from values and appears in the plug-in's API description.
struct Greeting {
    std::string text = "Hello";
    uint32_t minutes = 0;
};

}  // namespace MyPlugin

template <>
struct Vorn::BindingDescriptor<MyPlugin::Greeting> {
    static constexpr const char* kName = "Greeting";
    static constexpr const char* kDescription = "How the plug-in greets, and for how long it has run.";
    static constexpr auto kFields =
        std::make_tuple(Vorn::BindingField("text", &MyPlugin::Greeting::text, "The greeting"),
                        Vorn::BindingField("minutes", &MyPlugin::Greeting::minutes, "Minutes since start"));
};

namespace MyPlugin {

constexpr const char* kGreetingPath = "/my-plugin/v1/greeting";
constexpr const char* kTickTimer = "my-plugin.Tick";

class MyPlugin : public Vorn::PluginBase {
public:
    // Called once while loading: the types and functions the plug-in offers.
    void RegisterTypes() override {
        Vorn::RegisterBindingType<Greeting>(Registry(), TypeNamePrefix());
        Expose({.name = "Hello",
                .pathTemplate = "/my-plugin/v1/hello/{name}",
                .method = kHostMethodGet,
                .arguments = {{.name = "name", .location = Vorn::ArgumentLocation::Path, .description = "Who to greet"}},
                .description = "Greets by name."},
               &MyPlugin::Hello);
    }

    // Called by the host's start: observe a resource and start a timer.
    bool Start() override {
        ObserveResource<Greeting>(kGreetingPath, [this](const Vorn::ResourceEvent<Greeting>& event) {
            if (event.eventType == Vorn::PluginResourceEventType::Delete) return;
            greeting_.text = event.data.text;
            Vorn::Log(Vorn::kLogAlways, 0, 0, "%s: the greeting is now '%s'", ShortName().c_str(),
                      greeting_.text.c_str());
        });
        StartTimer(kTickTimer, 60.0, [this] {
            ++greeting_.minutes;
            Vorn::Log(Vorn::kLogAlways, 0, 0, "%s: running for %u minutes", ShortName().c_str(),
                      static_cast<unsigned>(greeting_.minutes));
        });
        return true;
    }

private:
    Greeting Hello(std::string name) const { return Greeting{greeting_.text + ", " + name, greeting_.minutes}; }

    Greeting greeting_;
};

}  // namespace MyPlugin

// The library's one export: the host calls it to create the plug-in.
VORN_PLUGIN_ENTRY(load_my_plugin, MyPlugin::MyPlugin, "my-plugin")
