#pragma once
// Records every call of a Pop3Client callback, for the tests to wait on and inspect.

#include "mail/pop3/Pop3Client.h"

struct Pop3Outcome
{
    int calls = 0;
    bool ok = false;
    int count = -1;
    QString error;
    Pop3Client::Done done()
    {
        return [this](bool o, const QString& e) {
            ++calls;
            ok = o;
            error = e;
        };
    }
    Pop3Client::CountDone countDone()
    {
        return [this](bool o, int c, const QString& e) {
            ++calls;
            ok = o;
            count = c;
            error = e;
        };
    }
};
