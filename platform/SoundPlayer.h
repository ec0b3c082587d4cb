#pragma once
// Plays a short sound file to its end: libsndfile decodes the WAV, the PulseAudio simple
// API plays it. The stand-in for playing "NOTIFY.WAV" synchronously by its bare name.

#include <QString>
#include <QStringList>

enum class SoundResult {
    Played,      // the sound was played to its end
    FileMissing, // no folder holds the file
    BadFile,     // the file is not a WAV sound that can be decoded
    NoServer     // no sound server, or it failed or stopped answering while playing
};

class SoundPlayer
{
public:
    // The folders a bare sound name is looked up in, in order: the program folder (a user's
    // own sound wins), the executable's folder (a build tree), "../share/pennaro" beside the
    // executable (an installed tree, wherever its prefix), the configured data folder.
    static QStringList searchFolders();

    // Full path of the named file in the first folder that holds it, matching the name
    // regardless of case when no file has it exactly. An absolute path is taken as it
    // stands. "" when no folder has it.
    static QString locate(const QString& name);

    // Plays the named sound and returns when it has ended. Decodes first, then connects,
    // so a bad file is reported as such even without a sound server. Never hangs on a
    // server that stops answering: the wait ends a few seconds after the sound's length.
    static SoundResult play(const QString& name);

    // True while a playback given up on by play() still holds its server connection;
    // play() then reports NoServer at once instead of stacking up another.
    static bool busy();
};
