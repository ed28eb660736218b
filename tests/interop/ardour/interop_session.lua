-- Loaded into ardour-lua's interactive console by the interop harness.
-- Every answer is one line "@@<tag> <value>", so the harness can find it
-- among the engine's own log lines.

function interop_reply(tag, value)
  print("@@" .. tag .. " " .. tostring(value))
end

-- A new session with two mono audio tracks, "Audio 1" and "Audio 2", on the
-- JACK server named by JACK_DEFAULT_SERVER.
function interop_open_session(dir, name)
  AudioEngine:set_backend("JACK", "ardour", "")
  local session = create_session(dir, name, 48000)
  assert(session, "could not create the session")
  Session:new_audio_track(1, 2, nil, 2, "Audio", ARDOUR.PresentationInfo.max_order,
                          ARDOUR.TrackMode.Normal, true)
  interop_reply("ready", Session:get_tracks():size())
end

-- Gain factor of the n-th track in presentation order (1 = first strip).
function interop_track_gain(tag, n)
  local track = Session:get_remote_nth_route(n - 1)
  interop_reply(tag, track and track:gain_control():get_value() or "none")
end

function interop_track_name(tag, n)
  local track = Session:get_remote_nth_route(n - 1)
  interop_reply(tag, track and track:name() or "none")
end

function interop_transport_rolling(tag)
  interop_reply(tag, Session:transport_rolling())
end
