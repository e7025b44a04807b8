// Runs the callback page's script as a browser would, with Slack's answer in the address,
// and checks where it sends the browser.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import vm from "node:vm";

const page = readFileSync(new URL("../../service/callback.html", import.meta.url), "utf8");
const script = page.match(/<script>([\s\S]*)<\/script>/)[1];

function state(object) {
  return Buffer.from(typeof object === "string" ? object : JSON.stringify(object))
    .toString("base64url");
}

// Loads the page at "?" + `query`; returns the address it went to, or the message it showed.
function visit(query) {
  const result = { address: null, message: null };
  const context = {
    window: { location: { search: "?" + query, replace: (to) => { result.address = to; } } },
    document: { getElementById: () => ({ set textContent(text) { result.message = text; } }) },
    atob,
    TextDecoder,
    Uint8Array,
  };
  vm.runInNewContext(script, context);
  return result;
}

const nonce = "0123456789abcdef0123456789abcdef";
const good = state(`{"port":8899,"nonce":"${nonce}"}`);

test("an approval is forwarded to the listener with code and nonce", () => {
  assert.equal(visit(`code=123.456.abc&state=${good}`).address,
    `http://127.0.0.1:8899/slack/callback?code=123.456.abc&nonce=${nonce}`);
});

test("a refusal is forwarded with the error and no code", () => {
  assert.equal(visit(`error=access_denied&state=${good}`).address,
    `http://127.0.0.1:8899/slack/callback?nonce=${nonce}&error=access_denied`);
});

test("values reach the listener unchanged", () => {
  const { address } = visit(`code=a%2Bb+c%26d&state=${good}`);
  const query = new URL(address).search.slice(1).split("&");
  assert.equal(decodeURIComponent(query[0].slice("code=".length)), "a+b+c&d");
});

test("the port must be a whole number from 1 to 65535", () => {
  for (const port of [0, 65536, -1, 88.5, "8899", null]) {
    const result = visit(`code=x&state=${state({ port, nonce })}`);
    assert.equal(result.address, null, `port ${port}`);
    assert.match(result.message, /not complete/);
  }
  assert.equal(new URL(visit(`code=x&state=${state({ port: 1, nonce })}`).address).port, "1");
  assert.equal(new URL(visit(`code=x&state=${state({ port: 65535, nonce })}`).address).port,
    "65535");
});

test("a state that is missing or not Base64url JSON goes nowhere", () => {
  for (const query of ["code=x", "code=x&state=", "code=x&state=%%%", "code=x&state=bm90IGpzb24",
                       `code=x&state=${state("[8899]")}`, "code=x&state=a+b/c="]) {
    assert.equal(visit(query).address, null, query);
  }
});

test("the address is always the IPv4 loopback, whatever the state holds", () => {
  const sneaky = state({ port: 8899, nonce: "x@evil.example/", host: "evil.example" });
  const address = new URL(visit(`code=x&state=${sneaky}`).address);
  assert.equal(address.host, "127.0.0.1:8899");
  assert.equal(address.pathname, "/slack/callback");
  assert.equal(address.searchParams.get("nonce"), "x@evil.example/");
});
