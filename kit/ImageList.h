#pragma once

#include <QIcon>
#include <QList>
#include <QSize>

// A numbered list of pictures of one size, as tool bars and actions use them.
class ImageList {
public:
    explicit ImageList(QSize size = QSize(16, 16)) : m_size(size) {}

    void add(const QIcon& icon) { m_icons << icon; }
    int count() const { return int(m_icons.size()); }
    QIcon icon(int index) const { return m_icons.value(index); }
    QSize size() const { return m_size; }

private:
    QSize m_size;
    QList<QIcon> m_icons;
};
