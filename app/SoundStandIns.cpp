#include "app/SoundStandIns.h"

#include "station/Log.h"

#include <QTimer>

void NoAudioInput::start(const QString &)
{
    m_pending = true;
    QTimer::singleShot(0, this, [this] {
        if (!m_pending)
            return;
        m_pending = false;
        const QString reason
            = QStringLiteral("this build of the program cannot record from a sound input yet");
        qCWarning(lcVocta).noquote() << QStringLiteral("Cannot record: %1").arg(reason);
        emit failed(reason);
    });
}
