#include "identity/Clouds.h"

#include "base/Platform.h"

const TCloud* FindCloud(std::wstring_view name)
{
    for (const TCloud& cloud : kClouds) {
        if (SameTextIgnoringCase(name, cloud.Name))
            return &cloud;
    }
    return nullptr;
}
