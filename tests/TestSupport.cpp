#include "TestSupport.h"

#include <memory>

namespace testsupport {

core::Answer ScriptedMessages::ask(const QString &text, core::Buttons buttons, core::Icon,
                                   const QString &)
{
    if (onMessage)
        onMessage(text);
    core::Answer answer;
    if (!script.empty()) {
        answer = script.front();
        script.pop_front();
    } else if (buttons == core::Buttons::YesNo || buttons == core::Buttons::YesNoCancel) {
        answer = defaultAnswer == core::Answer::Ok ? core::Answer::Yes : defaultAnswer;
    } else if (buttons == core::Buttons::Ok) {
        answer = core::Answer::Ok;
    } else {
        answer = defaultAnswer == core::Answer::Yes ? core::Answer::Ok : defaultAnswer;
    }
    messages.append({text, buttons, answer});
    return answer;
}

QStringList ScriptedMessages::texts() const
{
    QStringList out;
    for (const auto &m : messages)
        out << m.text;
    return out;
}

ServicesFixture::ServicesFixture()
{
    auto messages = std::make_unique<ScriptedMessages>();
    auto sound = std::make_unique<RecordingSound>();
    m_messages = messages.get();
    m_sound = sound.get();
    core::MessageService::install(std::move(messages));
    core::SoundService::install(std::move(sound));
    core::setModalHook([this](QDialog &d) {
        if (onModal)
            return onModal(d);
        d.reject();
        return int(QDialog::Rejected);
    });
}

ServicesFixture::~ServicesFixture()
{
    core::setModalHook({});
    core::MessageService::install(nullptr);
    core::SoundService::install(nullptr);
}

} // namespace testsupport
