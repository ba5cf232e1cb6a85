#pragma once

namespace dorvel {

// The countdown window as the logic sees it: shown modally, returns when it has closed. Its
// answer is AppState::shutdownConfirmed (still set: power off; cleared by Stop).
class CountdownPresenter {
public:
    virtual ~CountdownPresenter() = default;
    virtual void runCountdown() = 0;
};

} // namespace dorvel
