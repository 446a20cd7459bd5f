#pragma once
// Scripted boxes and recorded sounds for the main window's tests.
#include "app/Dialogs.h"
#include "app/Sounds.h"
#include <QString>
#include <deque>
#include <functional>
#include <vector>

struct TShownBox {
    QString Kind;  // "confirm", "error" or "input"
    QString Title;
    QString Text;
};

class TScriptedDialogs : public TDialogs {
public:
    bool Confirm(const QString& text) override;
    void ShowError(const QString& title, const QString& text) override;
    bool InputBox(const QString& title, const QString& prompt, QString& value) override;

    std::deque<bool> Answers;  // for Confirm and InputBox, in order; an unexpected box answers No
    std::vector<TShownBox> Shown;
};

class TRecordedSounds : public TSounds {
public:
    void Play(TSound sound) override { Played.push_back(sound); }
    std::vector<TSound> Played;
};

// Runs `act` on the next modal dialog once it is up (the caller then opens it).
void WhenModal(std::function<void(QWidget* dialog)> act);
