// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPixmap>
#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Reads pictures on a thread of its own while the UI thread does other work, such as building
// the window that shows them. Each is then taken on the UI thread as the pixmap readPicture()
// gives. Should the thread not start, each is read when it is taken.
class PictureReadAhead
{
public:
    explicit PictureReadAhead(QStringList paths);
    ~PictureReadAhead();
    PictureReadAhead(const PictureReadAhead &) = delete;
    PictureReadAhead &operator=(const PictureReadAhead &) = delete;

    // The picture at `path`, once read (at once when it has been); read now when `path` is not
    // one of those read ahead, or has been taken before.
    QPixmap take(const QString &path);

private:
    void readAll();

    const QStringList m_paths;
    std::vector<QImage> m_images;
    std::vector<bool> m_taken;
    std::mutex m_mutex;
    std::condition_variable m_readOne;
    qsizetype m_read = 0; // how many of m_paths, in order, have been read
    std::thread m_thread;
};
