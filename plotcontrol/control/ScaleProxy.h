#pragma once
// What the scale-range dialog edits: one axis's range with its limits. KEL::ScaleProxy is that
// axis of a plot's persisted state.
#include "foundation/String.h"
#include "plotcontrol/control/EtchPersistTask.h"

class IScaleProxy {
public:
    virtual double GetLowestAllowed() const = 0;
    virtual double GetHighestAllowed() const = 0;
    virtual double GetLower() const = 0;
    virtual double GetUpper() const = 0;
    virtual int GetAxis() const = 0; // 0 x (horizontal), 1 y (vertical)
    virtual KEL::String GetUnitText() const = 0;
    virtual unsigned GetScaleFlags() const = 0;
    virtual bool IsAvailable() const = 0;
    virtual void SetRange(double upper, double lower) = 0;
    virtual void Swap() = 0;

protected:
    ~IScaleProxy() = default;
};

// Scale flags: the scale requires its upper value above its lower one.
constexpr unsigned kScaleUpperAboveLower = 0x400;

namespace KEL {

class ScaleProxy final : public IScaleProxy {
public:
    // The task is not held and outlives the proxy.
    ScaleProxy(EtchPersistTask* task, int axis)
        : mTask(task)
        , mAxis(axis)
    {
    }
    double GetLowestAllowed() const override;
    double GetHighestAllowed() const override;
    double GetLower() const override;
    double GetUpper() const override;
    int GetAxis() const override { return mAxis; }
    String GetUnitText() const override { return String(); }
    unsigned GetScaleFlags() const override { return 0; }
    bool IsAvailable() const override { return true; }
    // Sends both axes' ranges that are not 0/0 to every plot of the task's plot id.
    void SetRange(double upper, double lower) override;
    // Exchanges upper and lower of this axis in the task when its range is not 0/0.
    void Swap() override;

private:
    EtchPersistTask* mTask;
    int mAxis;
};

} // namespace KEL
