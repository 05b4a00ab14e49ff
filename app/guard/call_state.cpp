#include "app/guard/call_state.h"

#include <atomic>

enum StepState
{
    STEP_IDLE,
    STEP_RUNNING,
    STEP_ABANDONED,
};
static std::atomic<int> stepState;
static std::atomic<bool> poisoned;

void BeginStep()
{
    stepState = STEP_RUNNING;
}

bool EndStep()
{
    int running = STEP_RUNNING;
    return stepState.compare_exchange_strong(running, STEP_IDLE);
}

bool TakeAbandon()
{
    int running = STEP_RUNNING;
    if (!stepState.compare_exchange_strong(running, STEP_ABANDONED))
        return false;
    poisoned = true;
    return true;
}

bool StepRunning()
{
    return stepState == STEP_RUNNING;
}

void MarkPoisoned()
{
    poisoned = true;
}

bool ProcessPoisoned()
{
    return poisoned;
}

void ResetCallState()
{
    stepState = STEP_IDLE;
    poisoned = false;
}
