#pragma once
// vorn-host run --html: one self-contained page for a run (inline CSS, no
// script, nothing fetched), each scenario with its verdict, a timeline on the
// virtual clock with a lane for each kind of host doing, and its steps with
// the trace lines each caused and its expectations held or failed; a failed
// expectation of a value shows what was expected beside what came, the
// members that differ marked.
#include <string>
#include <vector>

#include "binding/binding_property.h"
#include "host-simulator/scenario_runner.h"

namespace Vorn::HostSimulator {

std::string HtmlReport(const std::vector<ScenarioResult>& results);

// `value` as indented JSON in HTML, each member or element that does not
// match its counterpart in `other` inside <mark>, by the rules of scenario
// expectations. The expected value (`expected`) marks the members the actual
// one lacks; the actual value does not mark members the expected one leaves
// out, since an expectation names only what it checks.
std::string MarkedJson(const BindingProperty& value, const BindingProperty* other, bool expected);

}  // namespace Vorn::HostSimulator
