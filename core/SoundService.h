#pragma once
#include <memory>

namespace core {

// The four system beeps the program signals with (the codes of MessageBeep).
enum class Beep { Default = 0, Error = 16, Warning = 48, Information = 64 };

// One sound service for the whole program. The real one plays desktop theme
// sounds and ignores every failure (no sound card, no sound server); tests
// install a recorder.
class SoundService
{
public:
    virtual ~SoundService() = default;
    virtual void play(Beep beep) = 0;

    static SoundService &instance();
    static void install(std::unique_ptr<SoundService> service);
};

inline void beep(Beep b) { SoundService::instance().play(b); }

} // namespace core
