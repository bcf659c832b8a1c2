#pragma once
// Help over the native API: every exposed function, registered type and
// event described as data ("Full": the help records of binding/help_types.h,
// converted to values through the registry) or as epytext documentation.
//
// Epytext, every line ending in "\r\n":
//   structure  [description "\r\n\r\n"] ("@ivar m: " description
//              "\r\n@type m: " type) per member [tags]
//   enum       [description "\r\n\r\n"] ("@cvar N: (number)" [" " description])
//              per enumerator by number [tags] "@size: " size
//   event      description "\r\n\r\n" [tags]
//   function   [description "\r\n\r\n"] [help "\r\n\r\n"]
//              (["@param a: " ["(optional) "] description] "@type a: " type)
//              per argument ["@rtype: " type] [tags] ["@threadsafe: true"]
//              ["@async: " type]
// where tags is "@tags: " and the tags joined by ",", types are help type
// names ("list[L{X}]", "dict[int32]", "L{Name}") and the descriptions and
// help texts of blocks and parameters are escaped (EscapeEpytext).
#include <string>
#include <string_view>
#include <vector>

#include "binding/help_types.h"
#include "binding/type_registry.h"
#include "dispatch/function_description.h"
#include "dispatch/function_table.h"

namespace Vorn {

// A leading "-" becomes "E{-}", "{" "E{lb}" and "}" "E{rb}"; the text ends at
// its first NUL.
std::string EscapeEpytext(std::string_view text);

std::string TypeEpytext(const BindingTypeDescription& type);
std::string EventEpytext(const BindingEventDescription& event);
std::string FunctionEpytext(const BindingFunctionDescription& function);

// The Full records. Enumerators come in name order, members in registration
// order.
BindingFullTypeHelp TypeHelp(const BindingTypeDescription& type);
BindingFullEventHelp EventHelp(const BindingEventDescription& event);
BindingFullFunctionHelp FunctionHelp(const BindingFunctionDescription& function);

// A structure {"functions", "types", "events"}, each list sorted by name. In
// the Full format each member is a collection of the items' help values (an
// item whose help type is not registered stays empty); in the Epytext format
// a structure of texts by item name; in any other format each is empty.
BindingProperty Help(const TypeRegistry& registry, std::vector<const BindingFunctionDescription*> functions,
                     std::vector<const BindingTypeDescription*> types,
                     std::vector<const BindingEventDescription*> events, BindingHelpFormat format);

// Help over everything a plug-in has: its exposed functions and the
// registry's types and events.
BindingProperty ApiHelp(const TypeRegistry& registry, const FunctionTable& functions, BindingHelpFormat format);

}  // namespace Vorn
