"""The load the Graph stand-in puts on a client that works on many mailboxes at
once, as Microsoft documents Graph's limits for Outlook's resources (the
mailbox's category list is one): graph_standin.py calls in here.

What it models, and where from:
- Outlook's limits, for each app and mailbox: 10,000 requests in 10 minutes,
  and 4 requests at once; past either, 429 with Retry-After.
  https://learn.microsoft.com/graph/throttling-limits#outlook-service-limits
- A JSON batch's requests are each counted against those limits, and Graph
  dispatches up to 4 of a batch's requests at once (a Microsoft engineer's
  answer: https://learn.microsoft.com/answers/questions/1660054): a batch to
  one mailbox takes up to 4 of its places while it is served, and its
  requests that find no free place are answered 429 inside the batch.
  https://learn.microsoft.com/graph/json-batching
- 429 and 503 with Retry-After: https://learn.microsoft.com/graph/throttling
  Beyond the limits, a set share of Graph's requests is answered 429 and
  another 503, as a busy service answers: the client cannot tell those from
  the ones it earned, which is the point.

Settings (POST /_control/load, all optional; "enabled": false turns it off):
  mailbox_concurrency 4, window_requests 10000, window_s 600,
  throttle_share 0.05, unavailable_share 0.01, retry_after [0.5, 2.0], seed.
  The same call shapes the directory for runs over many mailboxes (directory.py
  does it): prefix, shared_share (that share of those users made shared
  mailboxes), group_id and nested_groups (a group of that many nested groups
  holding them all). Every call sets the limits too: "enabled": false keeps
  them off.
Counters (GET /_control/stats, POST /_control/stats/clear): requests by kind,
inner requests, categories created, conflicts, 429 and 503 given (outer and
inner), the most requests in flight at once, overall and for one mailbox.
"""

import random
import threading
import time


class LoadModel:
    def __init__(self):
        self.lock = threading.Lock()
        self.configure({"enabled": False})
        self.clear()

    def configure(self, settings):
        with self.lock:
            self.enabled = bool(settings.get("enabled", True))
            self.concurrency = int(settings.get("mailbox_concurrency", 4))
            self.window_requests = int(settings.get("window_requests", 10000))
            self.window_s = float(settings.get("window_s", 600))
            self.throttle_share = float(settings.get("throttle_share", 0.05))
            self.unavailable_share = float(settings.get("unavailable_share", 0.01))
            low, high = settings.get("retry_after", [0.5, 2.0])
            self.retry_after = (float(low), float(high))
            self.random = random.Random(settings.get("seed"))
            self.in_flight = {}  # mailbox -> requests being served
            self.windows = {}    # mailbox -> [window start, requests in it]

    def clear(self):
        with self.lock:
            self.stats = {"requests": 0, "kinds": {}, "inner": 0, "created": 0, "conflicts": 0,
                          "throttled": 0, "inner_throttled": 0, "unavailable": 0,
                          "most_in_flight": 0, "most_mailbox_in_flight": 0}
            self.all_in_flight = 0

    def snapshot(self):
        with self.lock:
            return dict(self.stats, kinds=dict(self.stats["kinds"]))

    # --- counting, whether or not the model is on ---

    def started(self, kind):
        with self.lock:
            self.stats["requests"] += 1
            self.stats["kinds"][kind] = self.stats["kinds"].get(kind, 0) + 1
            self.all_in_flight += 1
            self.stats["most_in_flight"] = max(self.stats["most_in_flight"], self.all_in_flight)

    def ended(self):
        with self.lock:
            self.all_in_flight -= 1

    def inner_done(self, status, created):
        with self.lock:
            self.stats["inner"] += 1
            if created:
                self.stats["created"] += 1
            if status == 409:
                self.stats["conflicts"] += 1
            if status == 429:
                self.stats["inner_throttled"] += 1

    def outer_done(self, status, created):
        with self.lock:
            if created:
                self.stats["created"] += 1
            if status == 409:
                self.stats["conflicts"] += 1

    # --- the model ---

    def _retry_after(self):
        low, high = self.retry_after
        return "%.1f" % self.random.uniform(low, high)

    def busy_answer(self):
        """A share of requests turned away at random: (status, Retry-After) or None."""
        with self.lock:
            if not self.enabled:
                return None
            draw = self.random.random()
            if draw < self.throttle_share:
                self.stats["throttled"] += 1
                return 429, self._retry_after()
            if draw < self.throttle_share + self.unavailable_share:
                self.stats["unavailable"] += 1
                return 503, self._retry_after()
            return None

    def _over_window(self, mailbox, count):
        """Counts count requests to mailbox; seconds to wait when past its limit."""
        now = time.monotonic()
        window = self.windows.get(mailbox)
        if window is None or now - window[0] >= self.window_s:
            window = self.windows[mailbox] = [now, 0]
        if window[1] + count > self.window_requests:
            return max(0.1, self.window_s - (now - window[0]))
        window[1] += count
        return None

    def take(self, mailbox, wanted):
        """Places for wanted requests to mailbox served together: (places taken,
        requests refused, Retry-After). The places go back with give_back."""
        with self.lock:
            lanes = min(self.concurrency, wanted)
            if not self.enabled:
                taken, refused = lanes, 0
            else:
                wait = self._over_window(mailbox, wanted)
                if wait is not None:
                    return 0, wanted, "%d" % (int(wait) + 1)
                free = max(0, self.concurrency - self.in_flight.get(mailbox, 0))
                taken = min(free, lanes)
                refused = wanted if taken == 0 else lanes - taken
            if taken:
                self.in_flight[mailbox] = self.in_flight.get(mailbox, 0) + taken
                self.stats["most_mailbox_in_flight"] = max(self.stats["most_mailbox_in_flight"],
                                                           self.in_flight[mailbox])
            return taken, refused, self._retry_after()

    def throttled(self):
        with self.lock:
            self.stats["throttled"] += 1

    def give_back(self, mailbox, taken):
        if not taken:
            return
        with self.lock:
            left = self.in_flight.get(mailbox, 0) - taken
            if left > 0:
                self.in_flight[mailbox] = left
            else:
                self.in_flight.pop(mailbox, None)
