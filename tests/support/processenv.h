// The environment for a child program whose output depends on the locale (tsql's character
// set, Python's standard streams): C.UTF-8, which every Debian system has, whatever locale
// the suite itself runs in. Without one, tsql falls back to ISO-8859-1 and prints "?" for
// every Chinese character.
#pragma once

#include <QProcessEnvironment>

namespace testsupport {

inline QProcessEnvironment utf8Environment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.remove(QStringLiteral("LANGUAGE"));
    return env;
}

}  // namespace testsupport
