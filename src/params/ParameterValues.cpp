#include "params/ParameterValues.h"

#include "params/ParameterTable.h"

namespace qt2xx {

std::optional<int> CaptureParameterValues(ParameterValues& values,
                                          const std::function<QString(int)>& listText) {
    for (int i = 0; i < kParameterCount; ++i) {
        values[i] = listText(i);
        if (values[i].isEmpty())
            return i;
    }
    return std::nullopt;
}

} // namespace qt2xx
