#pragma once
// The desktop's event sounds. The window owns one TSounds; tests install a recorder.
#include <memory>

struct ca_context;

enum class TSound { Error, Question, Information };

class TSounds {
public:
    virtual ~TSounds() = default;
    virtual void Play(TSound sound) = 0;
};

// Plays through libcanberra; silent where no sound server runs.
class TCanberraSounds : public TSounds {
public:
    TCanberraSounds();
    void Play(TSound sound) override;

private:
    struct Destroy { void operator()(ca_context* context) const; };
    std::unique_ptr<ca_context, Destroy> m_context;
};
