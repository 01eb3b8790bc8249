"""Groups and shared mailboxes in the Graph stand-in's directory
(graph_standin.py calls in here).

What it models, and where from:
- GET /groups/{id}/transitiveMembers: every member, nested groups flattened
  (the nested groups listed too), each object once, of several types told by
  @odata.type (#microsoft.graph.user, #microsoft.graph.group, and others such
  as #microsoft.graph.device that a client reading mailboxes skips); $select,
  $top (100 a page unless asked, at most 999), paging by @odata.nextLink;
  404 Request_ResourceNotFound for an unknown group:
  https://learn.microsoft.com/graph/api/group-list-transitivemembers
  https://learn.microsoft.com/graph/paging
  The order of members is the stand-in's own (depth first, as added).
- A shared mailbox is a user object with accountEnabled false and a mail
  address: https://learn.microsoft.com/graph/api/resources/user
  (accountEnabled, mail) and https://learn.microsoft.com/exchange/collaboration/shared-mailboxes/shared-mailboxes

Control (the caller holding the state's lock):
  POST group {id, displayName, members: [user oid | group id | {id, "@odata.type", displayName}]}
       a member that is neither a known user nor a group, given by id alone,
       is listed as a #microsoft.graph.device.
  In POST load (load_model.py's settings and these): shared_share (0 to 1)
  makes that share of the users whose upn starts with prefix (all, if none
  given) shared mailboxes; group_id with nested_groups N makes a group of N
  nested groups sharing those users out, and one device among its members.
"""

import random
import urllib.parse

USER_TYPE = "#microsoft.graph.user"
GROUP_TYPE = "#microsoft.graph.group"
DEVICE_TYPE = "#microsoft.graph.device"
MEMBERS_PAGE = 100
MEMBERS_MOST = 999


def reset(state):
    state.groups = {}           # id -> {"id", "displayName", "members": [...]}
    state.group_page_size = 0   # the most members a page holds, whatever $top asks; 0: no limit


def add_group(state, body):
    state.groups[body["id"]] = {"id": body["id"], "displayName": body.get("displayName", body["id"]),
                                "members": list(body.get("members", []))}


def member_object(state, member):
    """The directory object a group's member names, with its @odata.type."""
    if isinstance(member, dict):
        return dict(member, **{"@odata.type": member.get("@odata.type", DEVICE_TYPE)})
    if member in state.groups:
        group = state.groups[member]
        return {"@odata.type": GROUP_TYPE, "id": member, "displayName": group["displayName"], "mail": None}
    user = state.users.get(member)
    if user is not None:
        return {"@odata.type": USER_TYPE, "id": user["oid"], "userPrincipalName": user["upn"],
                "mail": user.get("mail"), "displayName": user.get("name") or user["upn"],
                "accountEnabled": user.get("accountEnabled", True)}
    return {"@odata.type": DEVICE_TYPE, "id": member, "displayName": member}


def transitive_members(state, group_id):
    """Every object under the group, each once; the group itself is left out
    even when a cycle leads back to it."""
    seen = {group_id}
    found = []
    pending = list(reversed(state.groups[group_id]["members"]))
    while pending:
        member = pending.pop()
        key = member["id"] if isinstance(member, dict) else member
        if key in seen:
            continue
        seen.add(key)
        found.append(member_object(state, member))
        if not isinstance(member, dict) and member in state.groups:
            pending.extend(reversed(state.groups[member]["members"]))
    return found


def list_members(state, group_id, full_path, base, graph_error):
    """GET /groups/{id}/transitiveMembers; the caller holds the lock."""
    if group_id not in state.groups:
        return graph_error(404, "Request_ResourceNotFound", "Resource '%s' does not exist or one of its "
                           "queried reference-property objects are not present." % group_id)
    split = urllib.parse.urlsplit(full_path)
    query = {k: v[0] for k, v in urllib.parse.parse_qs(split.query).items()}
    fields = [f.strip() for f in query.get("$select", "").split(",") if f.strip()]
    top = min(int(query.get("$top", MEMBERS_PAGE)), MEMBERS_MOST)
    if state.group_page_size:
        top = min(top, state.group_page_size)
    skip = int(query.get("$skiptoken", "0") or 0)
    members = transitive_members(state, group_id)
    values = []
    for member in members[skip:skip + top]:
        if fields:
            # Graph always names an object's type, whatever $select asks.
            member = dict({f: member.get(f) for f in fields}, **{"@odata.type": member["@odata.type"]})
        values.append(member)
    answer = {"@odata.context": "https://graph.microsoft.com/v1.0/$metadata#directoryObjects", "value": values}
    if skip + top < len(members):
        rest = dict(query, **{"$skiptoken": str(skip + top)})
        answer["@odata.nextLink"] = "%s/v1.0/groups/%s/transitiveMembers?%s" % (
            base, urllib.parse.quote(group_id), urllib.parse.urlencode(rest, safe="$,"))
    return 200, {}, answer


def shape(state, settings):
    """The load settings' shared mailboxes and nested groups; the caller holds
    the lock. Answers what it made."""
    prefix = settings.get("prefix", "")
    users = [u for u in state.users.values() if u["upn"].startswith(prefix) and not u.get("personal")]
    made = {}
    share = float(settings.get("shared_share", 0))
    if share:
        rng = random.Random(settings.get("seed"))
        shared = rng.sample(users, int(round(len(users) * share)))
        for user in shared:
            user["accountEnabled"] = False
        made["shared"] = len(shared)
    if settings.get("group_id"):
        nested = max(1, int(settings.get("nested_groups", 1)))
        outer = settings["group_id"]
        inner = ["%s-%d" % (outer, n) for n in range(nested)]
        for n, group_id in enumerate(inner):
            add_group(state, {"id": group_id, "members": [u["oid"] for u in users[n::nested]]})
        add_group(state, {"id": outer, "members": inner + [{"id": outer + "-device",
                                                            "@odata.type": DEVICE_TYPE}]})
        made["group_members"] = len(users)
    return made
