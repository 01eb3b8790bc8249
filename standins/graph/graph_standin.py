#!/usr/bin/env python3
"""A stand-in for the Microsoft identity platform and for Microsoft Graph's
Outlook category calls, so that tests and benchmarks never reach a real
Microsoft service. It listens on 127.0.0.1 alone, on a port the system
chooses, and writes that port to the file named by --port-file.

Why Python 3 and its standard library: it runs natively beside Wine with
nothing to build or install (every Debian machine has python3), it starts in
a fraction of a second, and ThreadingHTTPServer is fast enough. On the
2-core build machine, with the client under Wine, bench_graph measured about
750 requests/s from one thread, 1,600 from eight, and 1,100 from 64 threads
with every answer held back 50 ms.

What it models, and where from:
- Device authorization grant: /{tenant}/oauth2/v2.0/devicecode and /token,
  answers authorization_pending, authorization_declined,
  bad_verification_code, expired_token; the token answer with access_token,
  refresh_token (only when offline_access was asked) and id_token.
  https://learn.microsoft.com/entra/identity-platform/v2-oauth2-device-code
  slow_down, which that page leaves out, is RFC 8628 section 3.5:
  https://www.rfc-editor.org/rfc/rfc8628#section-3.5
- Refreshing a token (grant_type=refresh_token) and the token endpoint's
  error answer (error, error_description, error_codes); invalid_grant for a
  refresh token that is no longer valid.
  https://learn.microsoft.com/entra/identity-platform/v2-oauth2-auth-code-flow
- The id token's claims preferred_username and oid.
  https://learn.microsoft.com/entra/identity-platform/id-token-claims-reference
- GET /me/outlook/masterCategories and /users/{id|userPrincipalName}/...:
  https://learn.microsoft.com/graph/api/outlookuser-list-mastercategories
  with paging through @odata.nextLink:
  https://learn.microsoft.com/graph/paging
- POST (201 and the new category):
  https://learn.microsoft.com/graph/api/outlookuser-post-mastercategories
  A displayName must be unique in the list and cannot be changed, colours
  are "none" and "preset0" to "preset24":
  https://learn.microsoft.com/graph/api/resources/outlookcategory
  A second category of the same name (letter case ignored) is answered 409
  Conflict, the status the errors page gives a request that conflicts with
  the current state; the documentation names no error code for it, so the
  code "NameAlreadyExists" used here is the stand-in's own, and so is the
  "none" a category gets when it is created without a colour.
- PATCH of the colour (200), never of the name:
  https://learn.microsoft.com/graph/api/outlookcategory-update
- POST /v1.0/$batch: at most 20 requests, each answered with its own id,
  status, headers and body; a batch is 200 even when inner requests fail:
  https://learn.microsoft.com/graph/json-batching
- 429 and 503 with Retry-After, also inside a batch:
  https://learn.microsoft.com/graph/throttling
- Error bodies {"error": {"code", "message", "innerError"}}, 401, 403
  (ErrorAccessDenied), 503:
  https://learn.microsoft.com/graph/errors
- Every real host served under a path prefix, http://127.0.0.1:PORT/<host>/...
  (/login.microsoftonline.us/organizations/oauth2/v2.0/devicecode,
  /graph.microsoft.us/v1.0/me/outlook/masterCategories); the unprefixed paths
  are the worldwide cloud's, as before. Tokens are per cloud and per Graph
  host; personal accounts, app audiences, authorities, scopes and the
  permissions a token carries: accounts.py says what and where from.
- Groups (transitiveMembers) and shared mailboxes: directory.py. The user
  list's filters, advanced queries among them: app_credentials.py.

Control, for tests (never logged): under /_control/
  POST reset                      back to the empty state
  POST user {oid, upn, categories:[{displayName, color}], personal, enabled, mail}
       personal: a personal Microsoft account (tid 9188040d-...), in no
       organisation's directory; enabled false with a mail: a shared mailbox.
  POST group {id, displayName, members:[...]}   (directory.py)
  POST settings {latency_ms, page_size, next_link_base, interval, expires_in,
                 access_lifetime, sign_in_user, poll_script:[...], grant_refresh,
                 keep_log, users_page_size, tenant_id, tenant_domains, group_page_size}
       tenant_id: the organisation's, its work accounts' tid ("stand-in");
       tenant_domains: with it, a sign-in path naming another tenant is 90002.
       group_page_size: Graph may give fewer members a page than $top asks.
       keep_log false: requests are counted but not logged (long benchmarks).
       users_page_size: Graph may give fewer users a page than $top asks.
       poll_script: what successive token polls answer: "pending",
       "slow_down", "declined", "expired", "bad_code" or "approve"
       (signs in sign_in_user); once it runs out, polls stay pending.
       grant_refresh false: no refresh token, as for an app without offline_access.
  POST app/register {..., audience, cloud, delegated:[...]}   (app_credentials.py)
       also for the public client of a device code sign-in: its sign-in
       audience (accounts.AUDIENCES), its cloud ("global", "usgov", "china")
       and what .default grants it delegated. A client id never registered
       signs in anyone, as before.
  POST fail {status, code, message, retry_after, count, method, path, name,
             where: "outer"|"inner"|"any", oauth_error}
       the next `count` requests that match (-1: all) get that answer.
  POST tokens {expire_access, revoke_refresh}
  GET  tokens                     every token handed out, for leak checks
  GET  log, POST log/clear        the requests served, oldest first, each with
                                  the host it was addressed to
  GET  categories?user=OID        a mailbox's list
  GET  redirect                   a 302 to /_control/log, for the client's redirect rule
  POST load {...}                 Graph's limits for many mailboxes (load_model.py),
                                  shared mailboxes and nested groups among them
                                  (directory.py)
  GET  stats, POST stats/clear    counters of the requests served
"""

import argparse
import base64
import json
import os
import secrets
import socket
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

import accounts
import app_credentials
import directory
import load_model

MAX_BATCH = 20
COLORS = {"none"} | {"preset%d" % i for i in range(25)}
GRAPH_PREFIX = "/v1.0"
VERIFICATION_URI = "https://microsoft.com/devicelogin"


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode("ascii")


def graph_error(status, code, message, headers=None):
    body = {"error": {"code": code, "message": message,
                      "innerError": {"date": time.strftime("%Y-%m-%dT%H:%M:%S"),
                                     "request-id": secrets.token_hex(8)}}}
    return status, dict(headers or {}), body


def oauth_error(error, description, code=0):
    return 400, {}, {"error": error, "error_description": description,
                     "error_codes": [code] if code else [],
                     "timestamp": time.strftime("%Y-%m-%d %H:%M:%SZ")}


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        self.users = {}            # oid -> {"oid", "upn", "categories": [...]}
        self.devices = {}          # device_code -> {...}
        self.access = {}           # token -> grant (see grant())
        self.refresh = {}          # token -> {"oid", "client_id", "scope", "cloud", "revoked"}
        self.id_tokens = []
        self.rules = []
        self.log = []
        self.serial = 0
        self.latency_ms = 0
        self.page_size = 0
        self.next_link_base = None
        self.interval = 5
        self.expires_in = 900
        self.access_lifetime = 3599
        self.sign_in_user = None
        self.poll_script = []
        self.grant_refresh = True
        self.keep_log = True
        self.users_page_size = 0   # the most users a page holds, whatever $top asks; 0: no limit
        self.upns = {}             # lower-case upn -> oid
        self.load = load_model.LoadModel()
        self.tenant_id = "stand-in"   # the organisation's, the tid of its work accounts
        self.tenant_domains = None    # its domains; None: any tenant in a sign-in path is the organisation
        app_credentials.reset(self)
        directory.reset(self)

    def add_user(self, user):
        """The caller holds the lock."""
        self.users[user["oid"]] = user
        self.upns[user["upn"].lower()] = user["oid"]

    def user(self, ref):
        if ref in self.users:
            return self.users[ref]
        oid = self.upns.get(ref.lower())
        return self.users.get(oid) if oid is not None else None

    def note(self, entry):
        """Logs a request served; the caller holds the lock."""
        self.serial += 1
        entry["n"] = self.serial
        if self.keep_log:
            self.log.append(entry)

    def take_rule(self, method, path, name, inner):
        for rule in self.rules:
            if rule["count"] == 0:
                continue
            where = rule.get("where", "any")
            if (where == "outer" and inner) or (where == "inner" and not inner):
                continue
            if rule.get("method") and rule["method"].upper() != method:
                continue
            if rule.get("path") and rule["path"] not in path:
                continue
            if rule.get("name") and (name is None or rule["name"] not in name):
                continue
            if rule["count"] > 0:
                rule["count"] -= 1
            return rule
        return None


STATE = State()
# The host a request was addressed to, and the path prefix that named it
# ("" for the unprefixed paths of the worldwide cloud): batches and next links
# stay on that host.
REQUEST = threading.local()


def busy_error(status, retry_after):
    if status == 429:
        return graph_error(429, "TooManyRequests", "Too many requests.", {"Retry-After": retry_after})
    return graph_error(503, "ServiceUnavailable", "The service is temporarily unavailable.",
                       {"Retry-After": retry_after})


def request_kind(method, path):
    """What a request is, for the counters."""
    if "/oauth2/" in path:
        return "token"
    if path.startswith(GRAPH_PREFIX + "/users") and path.rstrip("/") == GRAPH_PREFIX + "/users":
        return "users"
    if path == GRAPH_PREFIX + "/$batch":
        return "batch"
    if path.startswith(GRAPH_PREFIX + "/") and "/masterCategories" in path:
        return "read" if method == "GET" else "write"
    return "other"


def rule_answer(rule):
    headers = {}
    if rule.get("retry_after") is not None:
        headers["Retry-After"] = str(rule["retry_after"])
    if rule.get("oauth_error"):
        status, _, body = oauth_error(rule["oauth_error"], rule.get("message", ""))
        return rule.get("status", status), headers, body
    return graph_error(rule["status"], rule.get("code", ""), rule.get("message", ""), headers)


def grant(principal, expiry, permissions, audience, delegated, personal=False):
    """What an access token stands for: who, until when, its scopes (delegated)
    or roles (application), and the one Graph host it is meant for."""
    return {"principal": principal, "expiry": expiry, "permissions": set(permissions), "audience": audience,
            "delegated": delegated, "personal": personal}


def issue_tokens(oid, client_id, scope, cloud):
    """Token answer for a signed-in user; the caller holds the lock."""
    user = STATE.users[oid]
    app = STATE.apps.get(client_id)
    audience, permissions, _ = accounts.parse_scopes(
        cloud, scope, (app or {}).get("delegated", accounts.DEFAULT_DELEGATED))
    access = "at-" + secrets.token_urlsafe(24)
    STATE.access[access] = grant(oid, time.time() + STATE.access_lifetime, permissions, audience, True,
                                 bool(user.get("personal")))
    body = {"token_type": "Bearer", "scope": " ".join("https://%s/%s" % (audience, p) for p in sorted(permissions)),
            "expires_in": STATE.access_lifetime, "ext_expires_in": STATE.access_lifetime,
            "access_token": access}
    scopes = scope.split()
    if "offline_access" in scopes and STATE.grant_refresh:
        refresh = "rt-" + secrets.token_urlsafe(32)
        STATE.refresh[refresh] = {"oid": oid, "client_id": client_id, "scope": scope, "cloud": cloud,
                                  "revoked": False}
        body["refresh_token"] = refresh
    if "openid" in scopes:
        now = int(time.time())
        header = {"typ": "JWT", "alg": "RS256", "kid": "stand-in"}
        tid = accounts.PERSONAL_TENANT if user.get("personal") else STATE.tenant_id
        login = next(h for h, (c, kind) in accounts.HOSTS.items() if c == cloud and kind == "login")
        claims = {"aud": client_id, "iss": "https://%s/%s/v2.0" % (login, tid),
                  "iat": now, "nbf": now, "exp": now + 3600, "name": user.get("name", user["upn"]),
                  "oid": oid, "preferred_username": user["upn"], "sub": b64url(oid.encode()),
                  "tid": tid, "ver": "2.0"}
        token = ".".join([b64url(json.dumps(header).encode()), b64url(json.dumps(claims).encode()),
                          b64url(secrets.token_bytes(32))])
        STATE.id_tokens.append(token)
        body["id_token"] = token
    return 200, {}, body


def sts_answer(failure):
    error, code, description = failure
    return oauth_error(error, description, code)


def device_code(tenant, cloud, form, entry):
    client_id = form.get("client_id", "")
    scope = form.get("scope", "")
    entry.update(tenant=tenant, client_id=client_id, scope=scope)
    if not client_id or not scope:
        return oauth_error("invalid_request", "AADSTS900144: The request body must contain client_id and scope.",
                           900144)
    code = secrets.token_urlsafe(32)
    user_code = secrets.token_hex(4).upper()
    with STATE.lock:
        app = STATE.apps.get(client_id)
        try:
            scopes = accounts.parse_scopes(cloud, scope, (app or {}).get("delegated", accounts.DEFAULT_DELEGATED))
        except accounts.Refused as refused:
            return sts_answer(refused.args[0])
        failure = accounts.check_authority(STATE, cloud, tenant, client_id, scopes[2])
        if failure:
            return sts_answer(failure)
        STATE.devices[code] = {"client_id": client_id, "scope": scope, "state": "pending", "tenant": tenant,
                               "cloud": cloud, "wants_default": scopes[2],
                               "expiry": time.time() + STATE.expires_in}
        body = {"user_code": user_code, "device_code": code, "verification_uri": VERIFICATION_URI,
                "expires_in": STATE.expires_in, "interval": STATE.interval,
                "message": "To sign in, use a web browser to open the page %s and enter the code %s to "
                           "authenticate." % (VERIFICATION_URI, user_code)}
    return 200, {}, body


def token(tenant, cloud, endpoint, form, entry):
    grant = form.get("grant_type", "")
    client_id = form.get("client_id", "")
    entry.update(tenant=tenant, grant_type=grant, client_id=client_id, scope=form.get("scope"))
    if grant == "client_credentials":
        return app_credentials.client_credentials(STATE, SERVER_BASE, tenant, endpoint, form, entry, cloud)
    with STATE.lock:
        if grant == "urn:ietf:params:oauth:grant-type:device_code":
            device = STATE.devices.get(form.get("device_code", ""))
            if device is None or device["client_id"] != client_id or device["state"] == "redeemed" or \
                    device["cloud"] != cloud:
                return oauth_error("bad_verification_code", "AADSTS70019: The device code was not recognised.",
                                   70019)
            if device["state"] == "pending":
                step = STATE.poll_script.pop(0) if STATE.poll_script else "pending"
                if time.time() > device["expiry"]:
                    step = "expired"
                if step == "approve":
                    device["state"] = "approved"
                elif step in ("declined", "expired"):
                    device["state"] = step
                elif step == "slow_down":
                    return oauth_error("slow_down", "Polling too fast.")
                elif step == "bad_code":
                    return oauth_error("bad_verification_code", "AADSTS70019: The device code was not "
                                       "recognised.", 70019)
            if device["state"] == "pending":
                return oauth_error("authorization_pending", "AADSTS70016: OAuth 2.0 device flow error. "
                                   "Authorization is pending. Continue polling.", 70016)
            if device["state"] == "declined":
                return oauth_error("authorization_declined", "AADSTS70000: The user declined the sign-in.",
                                   70000)
            if device["state"] == "expired":
                return oauth_error("expired_token", "AADSTS70020: The provided value for the input parameter "
                                   "'device_code' is no longer valid.", 70020)
            device["state"] = "redeemed"
            if STATE.sign_in_user not in STATE.users:
                return oauth_error("invalid_grant", "AADSTS50034: The user account does not exist.", 50034)
            failure = accounts.check_account(device, STATE.users[STATE.sign_in_user], STATE.apps.get(client_id))
            if failure:
                return sts_answer(failure)
            return issue_tokens(STATE.sign_in_user, client_id, device["scope"], cloud)
        if grant == "refresh_token":
            grant_entry = STATE.refresh.get(form.get("refresh_token", ""))
            if grant_entry is None or grant_entry["revoked"] or grant_entry["client_id"] != client_id or \
                    grant_entry["cloud"] != cloud:
                return oauth_error("invalid_grant", "AADSTS700082: The refresh token has expired due to "
                                   "inactivity.", 700082)
            scope = form.get("scope") or grant_entry["scope"]
            try:
                accounts.parse_scopes(cloud, scope, [])
            except accounts.Refused as refused:
                return sts_answer(refused.args[0])
            return issue_tokens(grant_entry["oid"], client_id, scope, cloud)
        return oauth_error("unsupported_grant_type", "AADSTS70003: The app requested an unsupported grant type.",
                           70003)


def members_path(path):
    """The group id of /groups/{id}/transitiveMembers, else None."""
    parts = path.split("/")
    if len(parts) == 4 and parts[1] == "groups" and parts[3] == "transitiveMembers":
        return urllib.parse.unquote(parts[2])
    return None


def link_base():
    """Where a next page lies: under the host the request was addressed to."""
    return (STATE.next_link_base or SERVER_BASE) + getattr(REQUEST, "prefix", "")


def denial(grant, method, target):
    """A 403 for a call, outer or inner, that the token's permissions do not
    allow, else None."""
    path = urllib.parse.urlsplit(target).path
    path = path if path.startswith("/") else "/" + path
    if members_path(path) is not None:
        return accounts.graph_denial(grant, method, "members", None, graph_error)
    located = mailbox_path(path)
    if located and located[1][:2] == ["outlook", "masterCategories"]:
        with STATE.lock:
            user = None if located[0] == "me" else STATE.user(located[0])
        return accounts.graph_denial(grant, method, "categories", user, graph_error)
    if path == "/$batch" and not grant["delegated"] and not grant["permissions"] & accounts.CATEGORY_READ:
        # An app that may touch no mailbox is turned away before its batch is
        # opened, as the stand-in always did.
        return accounts.graph_denial(grant, "GET", "categories", None, graph_error)
    return None


def mailbox_path(path):
    """(mailbox reference, rest) for /me/... or /users/{id}/..., else None."""
    parts = path.split("/")
    if len(parts) >= 2 and parts[1] == "me":
        return "me", parts[2:]
    if len(parts) >= 3 and parts[1] == "users":
        return urllib.parse.unquote(parts[2]), parts[3:]
    return None


def graph_call(method, target, body, oid, inner):
    """One Graph call, outer or inside a batch: (status, headers, body)."""
    split = urllib.parse.urlsplit(target)
    path, query = split.path, urllib.parse.parse_qs(split.query)
    if not path.startswith("/"):
        path = "/" + path
    name = body.get("displayName") if isinstance(body, dict) else None
    with STATE.lock:
        rule = STATE.take_rule(method, path, name, inner)
    if rule:
        return rule_answer(rule)
    group = members_path(path)
    if group is not None and method == "GET":
        with STATE.lock:
            return directory.list_members(STATE, group, target, link_base(), graph_error)
    located = mailbox_path(path)
    if not located or located[1][:2] != ["outlook", "masterCategories"] or \
            getattr(REQUEST, "host", None) in accounts.NO_CATEGORIES:
        return graph_error(400, "BadRequest", "Resource not found for the segment '%s'." %
                           ("masterCategories" if located else path))
    ref, rest = located
    with STATE.lock:
        user = STATE.users.get(oid) if ref == "me" else STATE.user(ref)
        if user is None:
            return graph_error(404, "ErrorInvalidUser", "The requested user '%s' is invalid." % ref)
        categories = user["categories"]
        if len(rest) == 2 and method == "GET":
            skip = int(query.get("$skip", ["0"])[0])
            size = int(query.get("$top", [str(STATE.page_size)])[0]) or len(categories)
            page = categories[skip:skip + size]
            answer = {"@odata.context": "stand-in", "value": [dict(c) for c in page]}
            if skip + size < len(categories):
                base = link_base()
                answer["@odata.nextLink"] = "%s%s%s?$skip=%d" % (base, GRAPH_PREFIX, path, skip + size)
            return 200, {}, answer
        if len(rest) == 2 and method == "POST":
            if not isinstance(name, str) or not name:
                return graph_error(400, "ErrorInvalidArgument", "The displayName is missing.")
            color = body.get("color", "none")
            if color not in COLORS:
                return graph_error(400, "ErrorInvalidArgument", "The color '%s' is not valid." % color)
            if any(c["displayName"].lower() == name.lower() for c in categories):
                return graph_error(409, "NameAlreadyExists", "A category named '%s' already exists." % name)
            category = {"id": secrets.token_hex(16), "displayName": name, "color": color}
            categories.append(category)
            return 201, {}, dict(category)
        if len(rest) == 3 and method == "PATCH":
            found = next((c for c in categories if c["id"] == rest[2]), None)
            if found is None:
                return graph_error(404, "ErrorItemNotFound", "The specified object was not found in the store.")
            if not isinstance(body, dict) or "displayName" in body:
                return graph_error(400, "ErrorInvalidProperty", "The displayName of a category cannot be changed.")
            color = body.get("color")
            if color not in COLORS:
                return graph_error(400, "ErrorInvalidArgument", "The color '%s' is not valid." % color)
            found["color"] = color
            return 200, {}, dict(found)
    return graph_error(405, "BadRequest", "The method is not allowed here.")


def authorised_grant(headers, host):
    """The token's grant when it is valid and meant for this Graph host."""
    value = headers.get("Authorization", "")
    if not value.startswith("Bearer "):
        return None
    with STATE.lock:
        grant = STATE.access.get(value[len("Bearer "):])
    if grant is None or time.time() > grant["expiry"] or grant["audience"] != host:
        return None
    return grant


def unauthorised():
    return graph_error(401, "InvalidAuthenticationToken", "Access token has expired or is not yet valid.",
                       {"WWW-Authenticate": 'Bearer realm="", error="invalid_token"'})


def mailbox_key(target, oid):
    """The mailbox a Graph path names, for the load model: its user's oid."""
    located = mailbox_path(urllib.parse.urlsplit(target).path if target.startswith("/") else
                           "/" + urllib.parse.urlsplit(target).path)
    if not located:
        return None
    if located[0] == "me":
        return oid
    with STATE.lock:
        user = STATE.user(located[0])
    return user["oid"] if user else located[0]


def batch(body, grant, entry):
    oid = grant["principal"]
    requests = body.get("requests") if isinstance(body, dict) else None
    if not isinstance(requests, list) or not requests:
        return graph_error(400, "BadRequest", "The batch holds no requests.")
    entry["batch_size"] = len(requests)
    if len(requests) > MAX_BATCH:
        return graph_error(400, "BadRequest", "A batch holds at most %d requests." % MAX_BATCH)
    ids = [str(r.get("id", "")).lower() for r in requests]
    if len(set(ids)) != len(ids) or "" in ids:
        return graph_error(400, "BadRequest", "Each request of a batch needs an id of its own.")
    # Each mailbox's requests take their places together; those that find
    # none are throttled, the first ones first.
    groups = {}
    for index, request in enumerate(requests):
        key = mailbox_key(str(request.get("url", "")), oid)
        groups.setdefault(key, []).append(index)
    refused = {}
    places = entry.setdefault("_places", [])
    for key, members in groups.items():
        if key is None:
            continue
        taken, count, retry_after = STATE.load.take(key, len(members))
        places.append((key, taken))
        for index in members[:count]:
            refused[index] = retry_after
    responses = []
    for index, request in enumerate(requests):
        method = str(request.get("method", "")).upper()
        url = str(request.get("url", ""))
        inner_body = request.get("body")
        denied = denial(grant, method, url)
        if denied:
            status, headers, answer = denied
        elif index in refused:
            status, headers, answer = graph_error(429, "ApplicationThrottled",
                                                  "Application is over its MailboxConcurrency limit.",
                                                  {"Retry-After": refused[index]})
        else:
            status, headers, answer = graph_call(method, url, inner_body, oid, inner=True)
        STATE.load.inner_done(status, method == "POST" and status == 201)
        inner_entry = {"method": method, "path": url, "host": REQUEST.host, "inner": True, "status": status}
        if isinstance(inner_body, dict) and "displayName" in inner_body:
            inner_entry["name"] = inner_body["displayName"]
        with STATE.lock:
            STATE.note(inner_entry)
        headers = dict(headers)
        headers["Content-Type"] = "application/json"
        responses.append({"id": request.get("id"), "status": status, "headers": headers, "body": answer})
    # Graph answers in any order; so does the stand-in, to keep clients honest.
    responses.reverse()
    return 200, {}, {"responses": responses}


def control(method, path, query, body):
    with STATE.lock:
        if path == "reset" and method == "POST":
            STATE.reset()
        elif path == "user" and method == "POST":
            categories = [{"id": secrets.token_hex(16), "displayName": c["displayName"],
                           "color": c.get("color", "none")} for c in body.get("categories", [])]
            user = {"oid": body["oid"], "upn": body["upn"], "name": body.get("name", ""),
                    "categories": categories}
            # Only the new keys are stored, so that users made as before list as before.
            for key, stored in (("personal", "personal"), ("enabled", "accountEnabled"), ("mail", "mail")):
                if key in body:
                    user[stored] = body[key]
            STATE.add_user(user)
        elif path == "group" and method == "POST":
            directory.add_group(STATE, body)
        elif path == "load" and method == "POST":
            STATE.load.configure(body)
            made = directory.shape(STATE, body)
            if made:
                return 200, {}, made
        elif path == "stats" and method == "GET":
            return 200, {}, STATE.load.snapshot()
        elif path == "stats/clear" and method == "POST":
            STATE.load.clear()
        elif path == "settings" and method == "POST":
            for key in ("latency_ms", "page_size", "next_link_base", "interval", "expires_in",
                        "access_lifetime", "sign_in_user", "poll_script", "grant_refresh", "keep_log",
                        "users_page_size", "tenant_id", "tenant_domains", "group_page_size"):
                if key in body:
                    setattr(STATE, key, body[key])
        elif path == "fail" and method == "POST":
            rule = dict(body)
            rule.setdefault("count", 1)
            STATE.rules.append(rule)
        elif path == "tokens" and method == "POST":
            if body.get("expire_access"):
                for held in STATE.access.values():
                    held["expiry"] = 0
            if body.get("revoke_refresh"):
                for grant in STATE.refresh.values():
                    grant["revoked"] = True
        elif path == "tokens" and method == "GET":
            return 200, {}, {"access": list(STATE.access), "refresh": list(STATE.refresh),
                             "id": list(STATE.id_tokens)}
        elif path == "log" and method == "GET":
            return 200, {}, {"requests": list(STATE.log)}
        elif path == "log/clear" and method == "POST":
            STATE.log = []
        elif path == "redirect" and method == "GET":
            return 302, {"Location": SERVER_BASE + "/_control/log"}, {}
        elif path.startswith("app/"):
            return app_credentials.control(STATE, method, path[len("app/"):], body)
        elif path == "categories" and method == "GET":
            user = STATE.user(query.get("user", [""])[0])
            if user is None:
                return 404, {}, {"error": "no such user"}
            return 200, {}, {"value": [dict(c) for c in user["categories"]]}
        else:
            return 404, {}, {"error": "no such control"}
    return 200, {}, {}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in two writes: with Nagle on, the second waits
    # for the client's delayed acknowledgement, 40 ms a request.
    disable_nagle_algorithm = True
    server_version = "PellorinGraphStandIn/1"

    def log_message(self, format, *args):
        pass

    def setup(self):
        super().setup()
        self.quick_ack()

    def quick_ack(self):
        # WinHTTP sends a request's headers and body in two writes, and the
        # body waits for our acknowledgement of the headers: Linux would delay
        # it by 40 ms. Quick acknowledgement lapses by itself, so it is set
        # again after every answer.
        if hasattr(socket, "TCP_QUICKACK"):
            self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)

    def do_GET(self):
        self.handle_any("GET")

    def do_POST(self):
        self.handle_any("POST")

    def do_PATCH(self):
        self.handle_any("PATCH")

    def do_DELETE(self):
        self.handle_any("DELETE")

    def handle_any(self, method):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(length) if length else b""
        split = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(split.query)
        if split.path.startswith("/_control/"):
            try:
                body = json.loads(raw) if raw else {}
                self.answer(*control(method, split.path[len("/_control/"):], query, body))
            except Exception as error:  # a test's own mistake: it hears about it
                self.answer(*graph_error(500, "StandInError", repr(error)))
            return
        host, path, prefixed = accounts.split_host(split.path)
        if not prefixed:
            host = accounts.DEFAULT_LOGIN if "/oauth2/" in path else accounts.DEFAULT_GRAPH
        REQUEST.host = host
        REQUEST.prefix = "/" + host if prefixed else ""
        full = self.path[len(REQUEST.prefix):]
        entry = {"method": method, "path": full, "host": host, "inner": False,
                 "user_agent": self.headers.get("User-Agent", "")}
        STATE.load.started(request_kind(method, path))
        try:
            status, headers, body = self.route(method, path, full, raw, entry)
        except Exception as error:  # the stand-in must answer, whatever a test sends
            status, headers, body = graph_error(500, "StandInError", repr(error))
        entry["status"] = status
        places = entry.pop("_places", [])
        with STATE.lock:
            STATE.note(entry)
            latency = STATE.latency_ms
        try:
            if latency:
                time.sleep(latency / 1000.0)
        finally:
            for key, taken in places:
                STATE.load.give_back(key, taken)
        STATE.load.ended()
        self.answer(status, headers, body)

    def route(self, method, path, full, raw, entry):
        """path and full (with its query) without the host prefix."""
        host = entry["host"]
        cloud, role = accounts.HOSTS[host]
        parts = path.split("/")
        if len(parts) == 5 and parts[2:4] == ["oauth2", "v2.0"] and method == "POST" and role == "login":
            form = {k: v[0] for k, v in urllib.parse.parse_qs(raw.decode("utf-8")).items()}
            with STATE.lock:
                rule = STATE.take_rule(method, path, None, False)
            if rule:
                return rule_answer(rule)
            if parts[4] == "devicecode":
                return device_code(parts[1], cloud, form, entry)
            if parts[4] == "token":
                return token(parts[1], cloud, REQUEST.prefix + path, form, entry)
        if not path.startswith(GRAPH_PREFIX + "/") or role != "graph":
            return graph_error(404, "NotFound", "No such endpoint.")
        grant = authorised_grant(self.headers, host)
        if grant is None:
            return unauthorised()
        oid = grant["principal"]
        answer = app_credentials.graph_request(STATE, link_base(), grant, method, path, full, rule_answer,
                                               self.headers)
        if answer:
            return answer
        target = full[len(GRAPH_PREFIX):]
        denied = denial(grant, method, target)
        if denied:
            return denied
        body = json.loads(raw) if raw else None
        if path == GRAPH_PREFIX + "/$batch" and method == "POST":
            with STATE.lock:
                rule = STATE.take_rule(method, path, None, False)
            if rule:
                return rule_answer(rule)
            busy = STATE.load.busy_answer()
            if busy:
                return busy_error(*busy)
            return batch(body, grant, entry)
        if isinstance(body, dict) and "displayName" in body:
            entry["name"] = body["displayName"]
        key = mailbox_key(target, oid)
        if key is not None:
            busy = STATE.load.busy_answer()
            if busy:
                return busy_error(*busy)
            taken, refused, retry_after = STATE.load.take(key, 1)
            if refused:
                STATE.load.throttled()
                return graph_error(429, "ApplicationThrottled", "Application is over its MailboxConcurrency limit.",
                                   {"Retry-After": retry_after})
            entry["_places"] = [(key, taken)]
        status, headers, answer = graph_call(method, target, body, oid, inner=False)
        STATE.load.outer_done(status, method == "POST" and status == 201)
        return status, headers, answer

    def answer(self, status, headers, body):
        data = json.dumps(body).encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers.items():
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)
        self.quick_ack()


class Server(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 256


SERVER_BASE = ""


def main():
    global SERVER_BASE
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--exit-with", type=int, default=0, metavar="PID",
                        help="end when that process has ended (a test runner killed outright)")
    args = parser.parse_args()
    if args.exit_with:
        def watch():
            while True:
                time.sleep(0.5)
                try:
                    os.kill(args.exit_with, 0)
                except OSError:
                    os._exit(0)
        threading.Thread(target=watch, daemon=True).start()
    server = Server(("127.0.0.1", 0), Handler)
    SERVER_BASE = "http://127.0.0.1:%d" % server.server_address[1]
    partial = args.port_file + ".partial"
    with open(partial, "w") as f:
        f.write("%d\n" % server.server_address[1])
    os.replace(partial, args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
