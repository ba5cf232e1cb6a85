#include "windowicon.h"

#include <QIconEngine>
#include <QPainter>

#include <memory>

namespace dorvel {

namespace {

class LazyIconEngine : public QIconEngine {
public:
    explicit LazyIconEngine(QString path) : m_path(std::move(path)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        return icon().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    // The file is compiled in: the icon is there before it is read.
    bool isNull() override { return false; }
    QString key() const override { return QStringLiteral("dorvel.lazy"); }
    QIconEngine* clone() const override { return new LazyIconEngine(m_path); }

private:
    const QIcon& icon()
    {
        if (!m_icon)
            m_icon = std::make_unique<QIcon>(m_path);
        return *m_icon;
    }

    QString m_path;
    std::unique_ptr<QIcon> m_icon;
};

} // namespace

QIcon lazyIcon(const QString& resourcePath)
{
    return QIcon(new LazyIconEngine(resourcePath));
}

} // namespace dorvel
