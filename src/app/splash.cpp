#include "app/splash.h"

#include <QCoreApplication>
#include <QLinearGradient>
#include <QPainter>

namespace delvora {

QPixmap MakeSplashPixmap() {
    QPixmap pixmap(480, 280);
    QPainter painter(&pixmap);
    QLinearGradient gradient(0, 0, 0, pixmap.height());
    gradient.setColorAt(0, QColor(24, 52, 92));
    gradient.setColorAt(1, QColor(8, 20, 40));
    painter.fillRect(pixmap.rect(), gradient);
    painter.setPen(Qt::white);
    QFont title = painter.font();
    title.setPointSize(30);
    title.setBold(true);
    painter.setFont(title);
    painter.drawText(pixmap.rect().adjusted(0, 60, 0, -120), Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("Korvanta"));
    QFont sub = painter.font();
    sub.setPointSize(13);
    sub.setBold(false);
    painter.setFont(sub);
    painter.drawText(pixmap.rect().adjusted(0, 150, 0, -40), Qt::AlignHCenter | Qt::AlignTop,
                     QCoreApplication::translate("Splash", "磁盘检查与数据恢复"));
    return pixmap;
}

}  // namespace delvora
