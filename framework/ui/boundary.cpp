// The event boundary: runs a handler body and turns any exception into the standard error
// box, so that nothing crosses Qt's event loop. EAbort ends an action without a word.
#include "framework/ui/boundary.h"

#include "framework/text/errors.h"
#include "framework/ui/messages.h"

#include <exception>

namespace ui {

bool guarded(const std::function<void()>& body) {
    try {
        body();
        return true;
    } catch (const EAbort&) {
        return false;
    } catch (const Exception& e) {
        ShowError(e.message());
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowError(QStringLiteral("未知错误"));
    }
    return false;
}

}  // namespace ui
