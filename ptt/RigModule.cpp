// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/RigModule.h"

#include "ptt/RigLibrary.h"
#include "station/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

RigModule::RigModule(const QString &file) : m_file(file) { }

// The module itself is never unloaded: see the class's comment.
RigModule::~RigModule() = default;

QString RigModule::locate(const QString &executableDir)
{
    const QString beside = QDir(executableDir).filePath(QLatin1String(FileName));
    const QString system = QDir::cleanPath(
        executableDir + QStringLiteral("/../" VV_RIG_MODULE_DIR "/") + QLatin1String(FileName));
    return QFileInfo::exists(beside) || !QFileInfo::exists(system) ? beside : system;
}

std::shared_ptr<RigLibrary> RigModule::library()
{
    if (m_library)
        return m_library;
    QString problem;
    // Its own symbols stay its own: hamlib's and the module's never stand in for the program's.
    void *handle = ::dlopen(QFile::encodeName(m_file).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        problem = QString::fromLocal8Bit(::dlerror());
    } else {
        using Entry = RigLibrary *(*)(int);
        const auto entry = reinterpret_cast<Entry>(::dlsym(handle, RigLibrary::EntryPoint));
        if (entry)
            m_library.reset(entry(RigLibrary::Version));
        if (!m_library) {
            problem = QStringLiteral("%1: not the module of this program").arg(m_file);
            ::dlclose(handle);
        }
    }
    if (m_library) {
        m_problem.clear();
        return m_library;
    }
    problem = QStringLiteral("cannot load hamlib (%1)").arg(problem);
    if (problem != m_problem)
        qCWarning(lcPtt).noquote() << QStringLiteral("PTT: ") + problem;
    m_problem = problem;
    return nullptr;
}
