"""Who may sign in where, and what a token may do, for the Graph stand-in
(graph_standin.py calls in here): the clouds and their hosts, the authority
in the sign-in path, an app registration's sign-in audience, personal
Microsoft accounts, the scopes and roles a token carries, and the
permissions Graph checks against them.

What it models, and where from:
- The hosts of each cloud: login.microsoftonline.com and graph.microsoft.com
  (worldwide); login.microsoftonline.us with graph.microsoft.us (US
  Government L4) and dod-graph.microsoft.us (L5, DoD); login.chinacloudapi.cn
  with microsoftgraph.chinacloudapi.cn (21Vianet). An app is registered in
  one cloud and gets tokens from that cloud's login host alone:
  https://learn.microsoft.com/graph/deployments
  A scope names its Graph host (https://graph.microsoft.us/.default,
  https://dod-graph.microsoft.us/...), and a short name (MailboxSettings.Read)
  means the cloud's own Graph: https://learn.microsoft.com/graph/sdks/national-clouds
  So L4 and L5 tokens differ by audience, and Graph answers a token meant for
  another host 401 InvalidAuthenticationToken (https://learn.microsoft.com/graph/errors).
  A short name in the US Government cloud means graph.microsoft.us: the
  stand-in's reading of that page, which calls the two equivalent there.
- masterCategories is served in the worldwide and both US Government clouds,
  not in China: https://learn.microsoft.com/graph/api/outlookuser-list-mastercategories
  (its national cloud table). The China Graph host answers it as Graph
  answers any segment it does not serve: 400 BadRequest, "Resource not found
  for the segment" (the stand-in's choice of wording).
- Authorities common, organizations, consumers, a tenant id or domain, and the
  sign-in audiences AzureADMyOrg, AzureADMultipleOrgs,
  AzureADandPersonalMicrosoftAccount, PersonalMicrosoftAccount:
  https://learn.microsoft.com/entra/identity-platform/msal-client-application-configuration
  https://learn.microsoft.com/entra/identity-platform/supported-accounts-validation
  Personal accounts sign in under tenant 9188040d-6c67-4c5b-b112-36a304b66dad,
  the tid of their id token:
  https://learn.microsoft.com/entra/identity-platform/id-token-claims-reference
- The AADSTS codes, as https://learn.microsoft.com/entra/identity-platform/reference-error-codes
  and the platform's own lookup (https://login.microsoftonline.com/error?code=N) give them:
  500200 a personal account where the app or authority admits none;
  9002331 an app for personal accounts alone asked on another authority than consumers;
  50194 a single-tenant app asked on common or organizations;
  50034 a work account on consumers (no such account in that directory);
  50057 a disabled account (a shared mailbox cannot sign in);
  70011 a personal account asking for .default (personal accounts ask for
  named scopes; https://learn.microsoft.com/entra/identity-platform/scopes-oidc
  on .default, as the stand-in reads it);
  500011 a scope naming another cloud's Graph; 90002 an unknown tenant.
  A work-only app on consumers is answered unauthorized_client, "The client
  does not exist or is not enabled for consumers", with 700016: the
  text the consumer sign-in shows; the code is the stand-in's choice.
  Sign-in checks that need the account (500200, 50034, 50057, 70011 under
  common) answer the token poll, with invalid_grant or invalid_scope: where
  the browser would show them, the stand-in has no browser.
- Permissions: masterCategories reads need MailboxSettings.Read or
  MailboxSettings.ReadWrite, writes ReadWrite, delegated (work or personal) or
  application alike: https://learn.microsoft.com/graph/api/outlookuser-list-mastercategories
  https://learn.microsoft.com/graph/api/outlookuser-post-mastercategories
  A delegated token reaches its own mailbox alone: the category list's
  permissions have no .Shared form, so another user's or a shared mailbox is
  403 ErrorAccessDenied (https://learn.microsoft.com/graph/errors), whatever
  else the token holds.
  transitiveMembers needs GroupMember.Read.All or a higher permission, else 403
  Authorization_RequestDenied; personal accounts are not supported there:
  https://learn.microsoft.com/graph/api/group-list-transitivemembers
"""

import urllib.parse

PERSONAL_TENANT = "9188040d-6c67-4c5b-b112-36a304b66dad"
AUDIENCES = ("AzureADMyOrg", "AzureADMultipleOrgs", "AzureADandPersonalMicrosoftAccount",
             "PersonalMicrosoftAccount")
OIDC_SCOPES = {"openid", "profile", "email", "offline_access"}

# host -> (cloud, "login" | "graph")
HOSTS = {
    "login.microsoftonline.com": ("global", "login"),
    "graph.microsoft.com": ("global", "graph"),
    "login.microsoftonline.us": ("usgov", "login"),
    "graph.microsoft.us": ("usgov", "graph"),
    "dod-graph.microsoft.us": ("usgov", "graph"),
    "login.chinacloudapi.cn": ("china", "login"),
    "microsoftgraph.chinacloudapi.cn": ("china", "graph"),
}
DEFAULT_LOGIN = "login.microsoftonline.com"
DEFAULT_GRAPH = "graph.microsoft.com"
CLOUD_GRAPH = {"global": "graph.microsoft.com", "usgov": "graph.microsoft.us",
               "china": "microsoftgraph.chinacloudapi.cn"}
# Graph's hosts without the category list.
NO_CATEGORIES = {"microsoftgraph.chinacloudapi.cn"}

CATEGORY_READ = {"MailboxSettings.Read", "MailboxSettings.ReadWrite"}
CATEGORY_WRITE = {"MailboxSettings.ReadWrite"}
GROUP_READ = {"GroupMember.Read.All", "Group.Read.All", "Directory.Read.All", "Group.ReadWrite.All",
              "GroupMember.ReadWrite.All", "Directory.ReadWrite.All"}
USERS_READ = {"User.Read.All", "User.ReadWrite.All", "Directory.Read.All", "Directory.ReadWrite.All"}
# What .default grants a delegated sign-in of an app registered without a list
# of its own: today's single permission, so that earlier clients see no change.
DEFAULT_DELEGATED = ["MailboxSettings.ReadWrite"]


def split_host(path):
    """(host, rest, prefixed) for a request path: /<known host>/... or an
    unprefixed path, which is the worldwide cloud's."""
    parts = path.split("/", 2)
    if len(parts) >= 2 and parts[1].lower() in HOSTS:
        return parts[1].lower(), "/" + (parts[2] if len(parts) > 2 else ""), True
    return None, path, False


def cloud_of(host):
    return HOSTS[host][0]


def authority_kind(tenant):
    t = tenant.lower()
    if t in ("common", "organizations", "consumers"):
        return t
    if t == PERSONAL_TENANT:
        return "consumers"
    return "tenant"


def sts(error, code, text):
    return error, code, "AADSTS%d: %s" % (code, text)


class Refused(Exception):
    """A sign-in refused: args[0] is the sts() error."""


def parse_scopes(cloud, scope, delegated_default):
    """(audience host, Graph permissions, asked .default); raises Refused."""
    audience = None
    permissions = set()
    wants_default = False
    for item in scope.split():
        if item.lower() in OIDC_SCOPES:
            continue
        name = item
        if "://" in item:
            split = urllib.parse.urlsplit(item)
            resource = split.netloc.lower()
            if HOSTS.get(resource, (None, None)) != (cloud, "graph"):
                raise Refused(sts("invalid_resource", 500011, "The resource principal named %s://%s was not found "
                           "in the tenant." % (split.scheme, resource)))
            if audience is not None and audience != resource:
                raise Refused(sts("invalid_scope", 70011, "The provided value for the input parameter 'scope' "
                                  "is not valid: scopes of two resources."))
            audience = resource
            name = split.path.lstrip("/")
        if name == ".default":
            wants_default = True
            permissions |= set(delegated_default)
        elif name:
            permissions.add(name)
    return audience or CLOUD_GRAPH[cloud], permissions, wants_default


def check_authority(state, cloud, tenant, client_id, wants_default):
    """None when this app may start a sign-in on this authority, else an sts() error."""
    kind = authority_kind(tenant)
    app = state.apps.get(client_id)
    audience = app.get("audience") if app else None
    if app is not None and app.get("cloud", "global") != cloud:
        return sts("unauthorized_client", 700016, "Application with identifier '%s' was not found in the "
                   "directory '%s'." % (client_id, tenant))
    if kind == "consumers":
        if cloud != "global":
            return sts("invalid_request", 90002, "Tenant '%s' not found." % tenant)
        if audience in ("AzureADMyOrg", "AzureADMultipleOrgs"):
            return sts("unauthorized_client", 700016, "The client does not exist or is not enabled for "
                       "consumers.")
        if wants_default:
            return sts("invalid_scope", 70011, "The provided value for the input parameter 'scope' is not "
                       "valid. Personal accounts need named scopes, not .default.")
        return None
    if audience == "PersonalMicrosoftAccount":
        return sts("invalid_request", 9002331, "Application '%s' is configured for use by Microsoft Account "
                   "users only. Please use the /consumers endpoint to serve this request." % client_id)
    if kind in ("common", "organizations") and audience == "AzureADMyOrg":
        return sts("invalid_request", 50194, "Application '%s' is not configured as a multi-tenant "
                   "application. Usage of the /common endpoint is not supported for such applications "
                   "created after '10/15/2018'. Use a tenant-specific endpoint or configure the application "
                   "to be multi-tenant." % client_id)
    if kind == "tenant" and state.tenant_domains is not None and \
            tenant.lower() not in [state.tenant_id.lower()] + [d.lower() for d in state.tenant_domains]:
        return sts("invalid_request", 90002, "Tenant '%s' not found." % tenant)
    return None


def check_account(device, user, app):
    """None when this account may finish the sign-in the device code began."""
    kind = authority_kind(device["tenant"])
    audience = app.get("audience") if app else None
    name = user["upn"]
    if not user.get("accountEnabled", True):
        return sts("invalid_grant", 50057, "The user account is disabled.")
    if user.get("personal"):
        if device["cloud"] != "global" or kind in ("organizations", "tenant") or \
                audience in ("AzureADMyOrg", "AzureADMultipleOrgs"):
            return sts("invalid_grant", 500200, "User account '%s' is a personal Microsoft account. Personal "
                       "Microsoft accounts are not supported for this application unless explicitly invited "
                       "to an organization. Try signing out and signing back in with an organizational "
                       "account." % name)
        if device["wants_default"]:
            return sts("invalid_scope", 70011, "The provided value for the input parameter 'scope' is not "
                       "valid. Personal accounts need named scopes, not .default.")
        return None
    if kind == "consumers" or audience == "PersonalMicrosoftAccount":
        return sts("invalid_grant", 50034, "The user account %s does not exist in the consumers directory. "
                   "To sign into this application, the account must be added to the directory." % name)
    return None


def graph_denial(grant, method, kind, ref_user, graph_error):
    """A 403 for a call this token may not make, else None. kind: "categories",
    "users" or "members"; ref_user: the user a mailbox path names, if known."""
    granted = grant["permissions"]
    if kind == "categories":
        needed = CATEGORY_WRITE if method in ("POST", "PATCH", "DELETE") else CATEGORY_READ
        if not granted & needed:
            return graph_error(403, "ErrorAccessDenied", "Access is denied. Check credentials and try again.")
        if grant["delegated"] and ref_user is not None and ref_user["oid"] != grant["principal"]:
            return graph_error(403, "ErrorAccessDenied", "Access is denied. Check credentials and try again.")
        return None
    if kind == "members":
        if grant.get("personal") or not granted & GROUP_READ:
            return graph_error(403, "Authorization_RequestDenied",
                               "Insufficient privileges to complete the operation.")
        return None
    if kind == "users" and not grant["delegated"] and not granted & USERS_READ:
        return graph_error(403, "Authorization_RequestDenied", "Insufficient privileges to complete the operation.")
    return None
