#pragma once

#include <QString>

namespace qt2xx::test {

// A 2 MB tmpfs of the test's own, mounted on folder (root only) and unmounted at the end whatever
// happens, so a test can fill a disk for real.
class SmallDisk {
public:
    explicit SmallDisk(const QString& folder);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    bool setReadOnly(bool readOnly);
    // Fills the disk to the last byte with a file of its own; freeUp() removes it.
    void fill();
    void freeUp();

private:
    QString m_folder;
    bool m_mounted = false;
};

} // namespace qt2xx::test
