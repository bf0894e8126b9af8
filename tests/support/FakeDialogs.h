// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Dialogs.h"

#include <QList>

// The standard dialogs of the tests: each records what it was asked and gives the answer the
// test put in place.
class FakeDialogs : public Dialogs
{
public:
    QString openFile(const OpenFileRequest &request) override
    {
        fileRequests.append(request);
        return fileAnswer;
    }
    FontChoice chooseFont(const FontChoice &preload) override
    {
        fontRequests.append(preload);
        return cancelFont ? preload : fontAnswer;
    }
    void critical(const QString &text) override { messages.append(text); }
    void notice(const QString &text, bool problem) override
    {
        notices.append((problem ? QStringLiteral("problem: ") : QStringLiteral("news: ")) + text);
    }

    QList<OpenFileRequest> fileRequests;
    QString fileAnswer; // empty: the operator cancels
    QList<FontChoice> fontRequests;
    FontChoice fontAnswer;
    bool cancelFont = true;
    QStringList messages;
    // Each notice, "problem: <text>" or "news: <text>".
    QStringList notices;
};
