#pragma once
// Shows a picture as large as fits, keeping its proportions. GUI thread only.

#include <QImage>
#include <QWidget>

class PictureView : public QWidget
{
    Q_OBJECT

public:
    explicit PictureView(QWidget *parent = nullptr);

    void setPicture(const QImage &picture);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage shown;
};
