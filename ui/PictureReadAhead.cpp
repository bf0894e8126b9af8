// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PictureReadAhead.h"

#include "ui/PictureFile.h"

#include <system_error>

PictureReadAhead::PictureReadAhead(QStringList paths)
    : m_paths(std::move(paths)), m_images(m_paths.size()), m_taken(m_paths.size(), false)
{
    try {
        m_thread = std::thread([this] { readAll(); });
    } catch (const std::system_error &) {
        std::lock_guard lock(m_mutex);
        m_read = -1; // no thread: each is read when taken
    }
}

PictureReadAhead::~PictureReadAhead()
{
    if (m_thread.joinable())
        m_thread.join();
}

void PictureReadAhead::readAll()
{
    for (qsizetype i = 0; i < m_paths.size(); ++i) {
        QImage image = readImage(m_paths.at(i));
        std::lock_guard lock(m_mutex);
        m_images[i] = std::move(image);
        m_read = i + 1;
        m_readOne.notify_all();
    }
}

QPixmap PictureReadAhead::take(const QString &path)
{
    const qsizetype i = m_paths.indexOf(path);
    std::unique_lock lock(m_mutex);
    if (i < 0 || m_read < 0 || m_taken[i]) {
        lock.unlock();
        return readPicture(path);
    }
    m_readOne.wait(lock, [this, i] { return m_read > i; });
    m_taken[i] = true;
    QImage image = std::move(m_images[i]);
    m_images[i] = QImage();
    lock.unlock();
    return QPixmap::fromImage(std::move(image));
}
