#include "core/SoundService.h"

#include <canberra.h>

namespace core {

namespace {

class CanberraSound final : public SoundService
{
public:
    CanberraSound()
    {
        if (ca_context_create(&m_ctx) != CA_SUCCESS)
            m_ctx = nullptr;
    }
    ~CanberraSound() override
    {
        if (m_ctx)
            ca_context_destroy(m_ctx);
    }
    CanberraSound(const CanberraSound &) = delete;
    CanberraSound &operator=(const CanberraSound &) = delete;

    void play(Beep beep) override
    {
        if (!m_ctx)
            return;
        const char *id = "bell";
        switch (beep) {
        case Beep::Default: id = "complete"; break;
        case Beep::Error: id = "dialog-error"; break;
        case Beep::Warning: id = "dialog-warning"; break;
        case Beep::Information: id = "dialog-information"; break;
        }
        // Asynchronous: returns at once; any failure is deliberately ignored.
        ca_context_play(m_ctx, 0, CA_PROP_EVENT_ID, id, nullptr);
    }

private:
    ca_context *m_ctx = nullptr;
};

std::unique_ptr<SoundService> &slot()
{
    static std::unique_ptr<SoundService> service;
    return service;
}

} // namespace

SoundService &SoundService::instance()
{
    auto &s = slot();
    if (!s)
        s = std::make_unique<CanberraSound>();
    return *s;
}

void SoundService::install(std::unique_ptr<SoundService> service)
{
    slot() = std::move(service);
}

} // namespace core
