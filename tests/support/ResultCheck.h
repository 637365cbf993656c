#pragma once

#include "platform/core/Result.h"

#include <QTest>

// Passes when what could fail did not; fails the test with the reason it gave otherwise.
#define QT2XX_VERIFY_OK(expression)                                                                          \
    do {                                                                                                     \
        const auto& result_ = (expression);                                                                  \
        QVERIFY2(result_.ok(), qPrintable(result_.error()));                                                 \
    } while (false)

namespace qt2xx::test {

// The value of what could fail, for a test with no use for a failure but to fail: the reason is
// reported as the test's failure and the value is T's empty one, which the test's checks refuse too.
template <typename T>
T Checked(qt2xx::Result<T> result, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
    if (!result) {
        QTest::qFail(qPrintable(result.error()), file, line);
        return T{};
    }
    return std::move(result).value();
}

} // namespace qt2xx::test
