#pragma once
// What a plug-in's API description table says, read from the table exactly
// as a host reads it after loading the library (never from the plug-in's
// registry): every type with its size and its members or enumerators, every
// event with its payload type, every function with its arguments.
#include <string>

#include "binding/binding_property.h"

namespace Vorn::HostSimulator {

struct DescribeOptions {
    std::string plugin;
    bool inProcess = false;  // load it in this process instead of a child
    double timeLimitSeconds = 10;
};

// {"plugin": path, "export", "shortName", "version", "functions", "types",
// "events" (as ReadApiTable gives them), "problems": [...]}. False with a
// reason when the library has no entry or could not be loaded and read.
bool DescribePlugin(const DescribeOptions& options, BindingProperty& description, std::string& error);

// The description as readable text, a line per type, member, enumerator,
// event, function and argument.
std::string DescriptionText(const BindingProperty& description);

class Channel;
struct ChildWork;

// The part of describing that loads the plug-in, run by name in a child
// process (or here when inProcess); false when the work is not describe's.
bool PerformDescribeWork(const ChildWork& work, bool inProcess, Channel& channel);

}  // namespace Vorn::HostSimulator
