#include "cli/ValueLine.h"

#include "text/HostText.h"
#include "json/CoreJson.h"

std::string ValueLine::Describe(const ValueResult& result) {
    std::string text = result.name + " = " +
                       CoreJson::Text(CoreJson::FromValue(*result.value), -1) + " (" +
                       result.type.value_or("");
    if (!result.milliseconds.IsNull()) {
        text += ", " + CoreJson::Text(CoreJson::FromValue(result.milliseconds), -1) + " ms";
    }
    return TerminalText(text + ")");
}
