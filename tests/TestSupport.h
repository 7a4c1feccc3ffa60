#pragma once
#include "core/MessageService.h"
#include "core/SoundService.h"

#include <QDialog>
#include <QWidget>
#include <QList>
#include <QString>
#include <deque>
#include <functional>

namespace testsupport {

// A control of a window by its object name; a missing one stops the test
// program at once rather than crashing it on a null pointer later.
template <typename T> T *child(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

struct RecordedMessage
{
    QString text;
    core::Buttons buttons;
    core::Answer answer;
};

// Installed in place of the real message boxes: records every message and
// answers questions from a script (then from a default answer).
class ScriptedMessages final : public core::MessageService
{
public:
    core::Answer ask(const QString &text, core::Buttons buttons, core::Icon icon,
                     const QString &caption) override;

    std::deque<core::Answer> script;     // answers, first in first out
    core::Answer defaultAnswer = core::Answer::Ok; // Ok or Yes when the script is empty
    QList<RecordedMessage> messages;
    std::function<void(const QString &)> onMessage; // called before answering

    QStringList texts() const;
    void clear() { messages.clear(); script.clear(); }
};

class RecordingSound final : public core::SoundService
{
public:
    void play(core::Beep beep) override { beeps.append(beep); }
    QList<core::Beep> beeps;
};

// Installs a scripted message service and a recording sound service for the
// lifetime of the object, and a modal hook that hands each modal window to
// `onModal` (default: reject it at once) instead of entering its loop.
class ServicesFixture
{
public:
    ServicesFixture();
    ~ServicesFixture();
    ServicesFixture(const ServicesFixture &) = delete;
    ServicesFixture &operator=(const ServicesFixture &) = delete;

    ScriptedMessages &messages() { return *m_messages; }
    RecordingSound &sound() { return *m_sound; }
    std::function<int(QDialog &)> onModal;

private:
    ScriptedMessages *m_messages;
    RecordingSound *m_sound;
};

} // namespace testsupport
