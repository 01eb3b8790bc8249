#include "cli/Microsoft365Verbs.h"

TMicrosoft365Overrides Microsoft365OverridesOf(const TSyncRequest& request)
{
    return {request.TenantId, request.ClientId, request.Cloud};
}
