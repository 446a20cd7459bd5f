#pragma once
// A label that opens its web address with the desktop's default handler.
#include <QLabel>

class TURLLabel : public QLabel {
    Q_OBJECT
public:
    static inline const QString DefaultUrl = QStringLiteral("https://ferrit.example.org/");

    explicit TURLLabel(QWidget* parent = nullptr);

    QString Url;

    // Opens Url; throws Exception("The default browser could not be launched.") on failure.
    void OpenUrl() const;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
