#include "json/MqttJson.h"

nlohmann::json MqttJson::Status(const MqttStatus& status) {
    return {{"connected", status.connected},
            {"queued", status.queued},
            {"published", status.published},
            {"dropped", status.dropped}};
}
