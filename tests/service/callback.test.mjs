// Runs the callback page's script as a browser would and checks where it sends the browser.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import vm from "node:vm";

const script = readFileSync(new URL("../../service/callback.html", import.meta.url), "utf8")
  .match(/<script>([\s\S]*)<\/script>/)[1];
const state = (value) =>
  Buffer.from(typeof value === "string" ? value : JSON.stringify(value)).toString("base64url");

// Loads the page at "?" + `query`; returns the address it went to, or the message it showed.
function visit(query) {
  const result = { address: null, message: null };
  const location = { search: "?" + query, replace: (to) => { result.address = to; } };
  const document = { getElementById: () => ({ set textContent(text) { result.message = text; } }) };
  vm.runInNewContext(script, { window: { location }, document, atob, TextDecoder, Uint8Array });
  return result;
}

const nonce = "0123456789abcdef0123456789abcdef";
const good = state(`{"port":8899,"nonce":"${nonce}"}`);

test("an approval or a refusal reaches the listener unchanged, with the nonce", () => {
  assert.equal(visit(`code=123.456.abc&state=${good}`).address,
    `http://127.0.0.1:8899/slack/callback?code=123.456.abc&nonce=${nonce}`);
  assert.equal(visit(`error=access_denied&state=${good}`).address,
    `http://127.0.0.1:8899/slack/callback?nonce=${nonce}&error=access_denied`);
  const code = new URL(visit(`code=a%2Bb+c%26d&state=${good}`).address).search.split("&")[0];
  assert.equal(decodeURIComponent(code.slice("?code=".length)), "a+b+c&d");
});

test("the address is the IPv4 loopback at a port from 1 to 65535, whatever the state holds", () => {
  for (const port of [1, 65535]) {
    assert.equal(new URL(visit(`code=x&state=${state({ port, nonce })}`).address).port, `${port}`);
  }
  const sneaky = state({ port: 8899, nonce: "x@evil.example/", host: "evil.example" });
  const address = new URL(visit(`code=x&state=${sneaky}`).address);
  assert.equal(address.origin + address.pathname, "http://127.0.0.1:8899/slack/callback");
  assert.equal(address.searchParams.get("nonce"), "x@evil.example/");
});

test("a state that is missing, not Base64url JSON or without a usable port goes nowhere", () => {
  const states = ["[8899]", ...[0, 65536, -1, 88.5, "8899", null].map((port) => ({ port, nonce }))];
  for (const query of ["code=x", "code=x&state=", "code=x&state=%%%", "code=x&state=bm90IGpzb24",
    "code=x&state=a+b/c=", ...states.map((value) => `code=x&state=${state(value)}`)]) {
    const result = visit(query);
    assert.equal(result.address, null, query);
    assert.match(result.message, /not complete/);
  }
});
