// Whole parameter files: reading never fails badly, and a set that reads back is stored and read
// again to exactly the same choices.
#include "files/AsvFormat.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto fields = qt2xx::ReadAsvFields(bytes);
    int line = 1;
    for (const auto& field : fields) {
        if (field.line < line)
            std::abort();
        line = field.line;
    }

    const qt2xx::AsvReadResult read = qt2xx::ReadAsvParameterSet(bytes);
    if (!read.set) {
        if (read.problem.message().isEmpty() || read.problem.parameter < 0 ||
            read.problem.parameter >= qt2xx::kParameterCount)
            std::abort();
        return 0;
    }
    qt2xx::ParameterValues values;
    for (int i = 0; i < qt2xx::kParameterCount; ++i)
        values[i] = read.set->text(i);
    const qt2xx::AsvReadResult again = qt2xx::ReadAsvParameterSet(qt2xx::WriteAsv(values));
    if (!again.set || again.set->choice != read.set->choice)
        std::abort();
    return 0;
}
