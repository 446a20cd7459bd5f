#include "app/Sounds.h"
#include <canberra.h>

void TCanberraSounds::Destroy::operator()(ca_context* context) const
{
    ca_context_destroy(context);
}

TCanberraSounds::TCanberraSounds()
{
    ca_context* context = nullptr;
    if (ca_context_create(&context) == CA_SUCCESS)
        m_context.reset(context);
}

void TCanberraSounds::Play(TSound sound)
{
    if (!m_context)
        return;
    const char* id = sound == TSound::Error      ? "dialog-error"
                     : sound == TSound::Question ? "dialog-question"
                                                 : "dialog-information";
    // A missing sound server or theme is not an error worth telling the user about.
    ca_context_play(m_context.get(), 0, CA_PROP_EVENT_ID, id, nullptr);
}
