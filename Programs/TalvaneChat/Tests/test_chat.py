"""End-to-end tests of talvane-chat: the program is run as a user runs it, against reference servers
on 127.0.0.1, and its output and exit status are checked."""

import http.server
import json
import os
import pty
import re
import select
import socket
import subprocess
import threading
import time
import unittest
import uuid

CHAT = os.environ.get("TALVANE_CHAT", "talvane-chat")
SERVER = os.environ.get("TALVANE_REFERENCE_SERVER", "talvane-reference-server")
ENV = dict(os.environ, NO_COLOR="1")
ENV.pop("NIMBREL_API_KEY", None)


def run_chat(*args, timeout=60):
    return subprocess.run([CHAT, *args], capture_output=True, text=True, timeout=timeout, env=ENV)


def closed_port():
    with socket.socket() as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


class ChatCase(unittest.TestCase):
    """Runs the program with EXTRA in front of a test's options: each class runs once as it is and once
    with --node, where every request goes through its own request node instead of the subsystem's
    delegates, and must look the same."""

    EXTRA = []

    def chat(self, *args, timeout=60):
        return run_chat(*self.EXTRA, *args, timeout=timeout)


class ReferenceServer:
    """A separately started reference server, for the modes that do not embed one."""

    def __enter__(self):
        self.process = subprocess.Popen([SERVER, "--port", "0", "--api-key", "test-key", "--quiet"],
                                        stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        match = re.search(r"127\.0\.0\.1:(\d+)", line)
        if not match:
            self.process.kill()
            raise RuntimeError("reference server did not start: " + line)
        self.port = int(match.group(1))
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait(timeout=10)


class RecordingServer:
    """A server of another maker that speaks the chat format: it keeps each request's path and body and
    answers every one with the same whole chat completion."""

    def __enter__(self):
        self.requests = []
        requests = self.requests

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
                requests.append((self.path, json.loads(body)))
                answer = json.dumps({"id": "x", "object": "chat.completion", "created": 1, "model": "house",
                                     "choices": [{"index": 0, "message": {"role": "assistant", "content": "Hi from the house model"},
                                                  "finish_reason": "stop"}]}).encode()
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(answer)))
                self.end_headers()
                self.wfile.write(answer)

            def log_message(self, *args):
                pass

        self.server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()


class OneShotAndScripted(ChatCase):
    def test_scripted_conversation_streams_reasoning_and_keeps_history(self):
        result = self.chat()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.count("you> "), 2)
        self.assertIn("(thinking) Thinking about", result.stdout)
        # The second answer quotes the second question and counts the system message and the first turn.
        self.assertRegex(result.stdout, r"Echo: Thanks\. What did I ask you a moment ago\? \(turn 2, 4 messages\)")

    def test_prompt_streams_the_answer(self):
        result = self.chat("--prompt", "Hello there", "--model", "chat")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("Echo: Hello there (turn 1, 1 message)", result.stdout)
        self.assertNotIn("thinking", result.stdout)

    def test_whole_answer_and_delta_mode_print_the_same_text_once(self):
        whole = self.chat("--prompt", "Same text, twice?", "--no-stream")
        delta = self.chat("--prompt", "Same text, twice?", "--delta")
        for result in (whole, delta):
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(result.stdout.count("Echo: Same text, twice? (turn 1, 1 message)"), 1, result.stdout)

    def test_statements_come_one_per_line(self):
        result = self.chat("--prompt", "One. Two! Three", "--statements")
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = [line.strip() for line in result.stdout.splitlines()]
        self.assertIn("Two", lines)
        self.assertTrue(any(line.startswith("Three") for line in lines), result.stdout)

    def test_fill_in_the_middle(self):
        result = self.chat("--fim", "def add(a, b):", "--suffix", "return c")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn('fill between "def add(a, b):" and "return c"', result.stdout)

    def test_any_model_name_is_sent_to_another_server(self):
        with RecordingServer() as server:
            result = self.chat("--base-url", f"http://127.0.0.1:{server.port}/v1/", "--api-key", "k", "--no-stream",
                               "--model-name", "house-7b", "--prompt", "hi")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("Hi from the house model", result.stdout)
        self.assertEqual(len(server.requests), 1)
        path, body = server.requests[0]
        self.assertEqual(path, "/v1/chat/completions")
        self.assertEqual(body["model"], "house-7b")

    def test_verbose_prints_the_timings_of_each_answer(self):
        result = self.chat("--prompt", "How fast?", "--verbose", "--header", "X-Talvane-Scenario=trickle")
        self.assertEqual(result.returncode, 0, result.stderr)
        match = re.search(r"\(timings: first byte ([0-9.]+) s, first text ([0-9.]+) s, done ([0-9.]+) s, ([0-9.]+) characters/s\)",
                          result.stdout)
        self.assertIsNotNone(match, result.stdout)
        first_byte, first_text, done, rate = (float(value) for value in match.groups())
        # The trickle pauses 20 ms after each event: the text comes one pause in, the end several later.
        self.assertLessEqual(first_byte, first_text)
        self.assertGreaterEqual(first_text, 0.015)
        self.assertGreaterEqual(done, first_text + 0.04)
        self.assertGreater(rate, 0)
        self.assertNotIn("timings", self.chat("--prompt", "quiet").stdout)

    def test_local_chat_server(self):
        with ReferenceServer() as server:
            result = self.chat("--local", f"127.0.0.1:{server.port}", "--chat-id", "room/7", "--api-key", "test-key",
                              "--prompt", "Local hello")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("Echo: Local hello", result.stdout)


class Failures(ChatCase):
    def test_error_status_is_shown_in_plain_words_with_the_code(self):
        result = self.chat("--prompt", "hi", "--header", "X-Talvane-Scenario=status-429")
        self.assertNotEqual(result.returncode, 0)
        self.assertRegex(result.stderr, r"talvane-chat: the server answered 429")
        self.assertEqual(len(result.stderr.strip().splitlines()), 1, result.stderr)

    def test_wrong_key_is_401(self):
        with ReferenceServer() as server:
            result = self.chat("--base-url", f"http://127.0.0.1:{server.port}/", "--api-key", "wrong", "--prompt", "hi")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("401", result.stderr)

    def test_refused_connection(self):
        result = self.chat("--base-url", f"http://127.0.0.1:{closed_port()}/", "--api-key", "k", "--prompt", "hi")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("no answer from the server", result.stderr)

    def test_bad_options(self):
        self.assertNotEqual(self.chat("--model", "giant", "--prompt", "x").returncode, 0)
        self.assertNotEqual(self.chat("--local", "127.0.0.1:1").returncode, 0)
        self.assertNotEqual(self.chat("--base-url", "http://127.0.0.1:1/", "--prompt", "x").returncode, 0)
        self.assertEqual(self.chat("--help").returncode, 0)


    def test_a_cut_stream_says_how_much_of_the_answer_came(self):
        result = self.chat("--prompt", "hi", "--header", "X-Talvane-Scenario=cut")
        self.assertNotEqual(result.returncode, 0)
        # Two content events came: "Echo:" and " hi", 8 characters.
        self.assertEqual(result.stderr.strip(), "talvane-chat: the connection closed after 8 characters of the answer")

    def test_an_error_event_shows_its_message(self):
        result = self.chat("--prompt", "hi", "--header", "X-Talvane-Scenario=error-event")
        self.assertNotEqual(result.returncode, 0)
        self.assertEqual(result.stderr.strip(), "talvane-chat: the answer broke off with an error: stream interrupted")
        self.assertNotIn("data:", result.stderr)

    def test_a_rate_limit_that_clears_is_retried(self):
        key = ["--header", f"X-Talvane-Fail-Key={uuid.uuid4()}", "--header", "X-Talvane-Fail-Times=2",
               "--header", "X-Talvane-Fail-Status=429"]
        result = self.chat("--prompt", "patience", "--retries", "2", *key)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.count("Echo: patience (turn 1, 1 message)"), 1, result.stdout)

    def test_too_few_retries_report_the_last_rate_limit(self):
        key = ["--header", f"X-Talvane-Fail-Key={uuid.uuid4()}", "--header", "X-Talvane-Fail-Times=2",
               "--header", "X-Talvane-Fail-Status=429"]
        result = self.chat("--prompt", "patience", "--retries", "1", *key)
        self.assertNotEqual(result.returncode, 0)
        self.assertRegex(result.stderr, r"talvane-chat: the server answered 429")
        self.assertNotEqual(self.chat("--retries", "-5", "--prompt", "x").returncode, 0)


class Interactive(ChatCase):
    def send(self, fd, data):
        """Types data; the next read_until looks only at what the program writes after it."""
        self.mark = len(self.output)
        os.write(fd, data)

    def read_until(self, fd, pattern, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if re.search(pattern, self.output[self.mark:]):
                return
            ready, _, _ = select.select([fd], [], [], 0.1)
            if ready:
                try:
                    self.output += os.read(fd, 4096).decode("utf-8", "replace")
                except OSError:
                    break
        self.fail(f"did not see {pattern!r} in:\n{self.output}")

    def test_repl_with_history_reset_and_ctrl_c_cancel(self):
        pid, fd = pty.fork()
        if pid == 0:
            os.execve(CHAT, [CHAT, *self.EXTRA, "--interactive", "--header", "X-Talvane-Scenario=trickle",
                             "--header", "X-Talvane-Delay-Ms=150"], ENV)
        self.output = ""
        self.mark = 0
        try:
            self.read_until(fd, r"> $")
            self.send(fd, b"first question\n")
            self.read_until(fd, r"Echo: first question \(turn 1, 1 message\)")
            self.send(fd, b"second question\n")
            self.read_until(fd, r"\(turn 2, 3 messages\)")
            self.send(fd, b"/reset\n")
            self.read_until(fd, r"history cleared")
            self.send(fd, b"a long question that will be cut short\n")
            self.read_until(fd, r"Echo:")
            self.send(fd, b"\x03")
            self.read_until(fd, r"\(cancelled\)")
            self.assertNotIn("(turn 1, 1 message)\r\n(cancelled)", self.output)
            self.send(fd, b"after cancel\n")
            self.read_until(fd, r"Echo: after cancel")
            self.send(fd, b"/quit\n")
            _, status = os.waitpid(pid, 0)
            self.assertEqual(os.waitstatus_to_exitcode(status), 0, self.output)
        finally:
            try:
                os.kill(pid, 9)
                os.waitpid(pid, 0)
            except (ProcessLookupError, ChildProcessError):
                pass
            os.close(fd)


class Tools(ChatCase):
    CALL = re.compile(r"\[tool\] (\w+) (\{.*\}) -> (\{.*\})")

    def test_each_call_is_printed_with_its_arguments_and_result_then_the_answer(self):
        for mode in ([], ["--no-stream"], ["--delta"]):
            result = self.chat("--tools", "--prompt", "What does a mead cost? And roll me a die.", *mode)
            self.assertEqual(result.returncode, 0, result.stderr)
            calls = self.CALL.findall(result.stdout)
            self.assertEqual([name for name, _, _ in calls], ["RollDie", "PriceOf"], result.stdout)
            self.assertEqual(json.loads(calls[0][1]), {"Sides": 3})
            roll = json.loads(calls[0][2])["ReturnValue"]
            self.assertTrue(1 <= roll <= 3, result.stdout)
            # The answer comes after the calls and quotes each result.
            answer = result.stdout[result.stdout.rindex("[tool]"):].split("\n", 1)[1]
            self.assertIn(f"call_1_0 gave {calls[0][2]}", answer)
            self.assertIn(f"call_1_1 gave {calls[1][2]}", answer)

    def test_a_model_that_never_stops_calling_meets_the_step_limit(self):
        result = self.chat("--tools", "--prompt", "hi", "--header", "X-Talvane-Scenario=tools-endless")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout.count("[tool] RollDie"), 7, result.stdout)
        self.assertIn("limit of 8 requests", result.stderr)

    def test_tools_need_the_cloud_service(self):
        result = self.chat("--tools", "--prompt", "hi", "--local", "127.0.0.1:1", "--chat-id", "x")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("--tools", result.stderr)


class ToolsWithNode(Tools):
    EXTRA = ["--node"]


class OneShotAndScriptedWithNode(OneShotAndScripted):
    EXTRA = ["--node"]


class FailuresWithNode(Failures):
    EXTRA = ["--node"]


class InteractiveWithNode(Interactive):
    EXTRA = ["--node"]


if __name__ == "__main__":
    unittest.main()
