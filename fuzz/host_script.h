#pragma once
// A host's actions against a loaded plug-in, read from text, one per line,
// so a fuzzer's mutations of a few readable seeds reach deep into the
// plug-in's logic. Words are split by single spaces; the JSON and raw bytes
// at a line's end run to its end. Unknown or malformed lines do nothing.
//
//   store PATH JSON              the store holds JSON at PATH (no event)
//   remove PATH                  the store forgets PATH (no event)
//   create PATH JSON             stores and delivers the path's event
//   update PATH JSON
//   delete PATH
//   event NAME TYPE URI [JSON]   a resource event (TYPE Create, Update or
//                                Delete) under any name; no JSON: no data
//   payload NAME JSON            any value as an event's payload
//   flat NAME FAULT BYTES        a raw flat payload from the bytes (see
//                                flat_recipe.h); FAULT none, name or user
//   answer METHOD PATH HOW...    what the host answers to METHOD PATH:
//       body JSON | error STATUS TEXT | stream CHUNK JSON |
//       stream-fail CHUNK READ JSON | stream-over CHUNK BYTES JSON |
//       stream-text CHUNK HINT TEXT | flat BYTES
//   during READ LINE             the last answer set runs LINE inside the
//                                plug-in's yield after read READ (re-entry)
//   hook stream CHUNK | hook off every answer streamed in CHUNK-byte reads
//   fault AHEAD KIND             the interaction AHEAD from now fails: KIND
//                                answer, wrong-kind, read, short or task
//   advance MILLISECONDS         the clock moves, running due tasks
//   stop                         the plug-in stops
//   restart                      unloads, loads and starts again
//
// Limits keep every input's work small: at most 64 lines run, an advance
// moves at most 60 s, a re-entered line runs no deeper than 4 levels and
// at most 16 times in all.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/simulated_host.h"

namespace Vorn::Fuzz {

class Recipe;

class HostScript {
public:
    HostScript(Host::SimulatedHost& host, std::string libraryPath);

    // Loads and starts the plug-in; false when it cannot be loaded.
    bool Begin();
    void Run(std::string_view script);
    // Stops the plug-in if it runs.
    void End();

private:
    void RunLine(std::string_view line, int depth);
    void SetAnswer(std::string_view method, const std::string& path, std::string_view how);

    Host::SimulatedHost& host_;
    std::string libraryPath_;
    int reentry_ = 0;    // lines running inside the plug-in's yield now
    int reentries_ = 0;  // lines run there so far
    // The answers set, so a later "during" can change the last one.
    struct SetAnswerRecord {
        uint32_t method = 0;
        std::string path;
        std::shared_ptr<Host::Answer> answer;
    };
    std::vector<SetAnswerRecord> answers_;
    // Recipes of raw flat bodies: the host sends them as given, so their
    // arrays live as long as the script.
    std::vector<std::shared_ptr<Recipe>> recipes_;
};

}  // namespace Vorn::Fuzz
