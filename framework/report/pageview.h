// The widget inside the preview window that shows one recorded page at a zoom, on a grey
// desk with a margin; the page is rendered once per page and zoom into a cached image.
#pragma once

#include <QImage>
#include <QWidget>

namespace report {

class PreparedReport;

class PageView : public QWidget {
public:
    explicit PageView(QWidget* parent = nullptr);

    void setReport(const PreparedReport* report);  // not owned
    void setPage(int index);
    int page() const { return m_page; }
    void setPixelsPerMm(double ppm);
    double pixelsPerMm() const { return m_ppm; }
    QSize sizeHint() const override;
    // The page rendered as the view shows it (also what tests look at).
    QImage renderPage() const;

    static constexpr int kDeskMargin = 12;  // pixels of desk around the page

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void invalidate();
    const PreparedReport* m_report = nullptr;
    int m_page = 0;
    double m_ppm = 96 / 25.4;
    mutable QImage m_cache;
    mutable bool m_cacheValid = false;
};

}  // namespace report
