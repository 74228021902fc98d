#include "tests/app/app_test_support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

namespace app_test {

PtyPort::PtyPort(const QString& portsDir, int number)
    : link_(QDir(portsDir).filePath(QStringLiteral("com%1").arg(number))) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) return;
    const char* slave = (grantpt(master) == 0 && unlockpt(master) == 0) ? ptsname(master) : nullptr;
    if (slave == nullptr || !QFile::link(QString::fromLocal8Bit(slave), link_)) {
        close(master);
        return;
    }
    master_ = master;
}

PtyPort::~PtyPort() {
    if (master_ < 0) return;
    QFile::remove(link_);
    close(master_);
}

}  // namespace app_test
