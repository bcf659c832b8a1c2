#include "plugin/plugin_base.h"

namespace Vorn {

std::future<RequestResult<void>> TelemetrySender::SendTelemetry(const std::string& eventName,
                                                                const NamedParameters& values) {
    std::promise<RequestResult<void>> promise;
    promise.set_value(plugin_->SendRequest<void>(RequestMethod::Post, "/telemetry/v1/events/" + eventName, values));
    return promise.get_future();
}

}  // namespace Vorn
