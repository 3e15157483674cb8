;;; brimel-tests.el --- Shell buffers through the relay, as a user sees them  -*- lexical-binding: t; -*-

;;; Commentary:

;; BRIMEL=path/to/brimel emacs -Q --batch -L editors/emacs -l ert \
;;   -l tests/emacs/brimel-tests.el -f ert-run-tests-batch-and-exit

;;; Code:

(require 'brimel)

(setq brimel-program (or (getenv "BRIMEL") brimel-program)
      explicit-shell-file-name "/bin/sh"
      kill-buffer-query-functions nil)

;; As for a native Windows Emacs: no signal reaches the relay, only keys sent in-band.
(setq interrupt-process-functions (list #'brimel--interrupt))
(dolist (signal-sender '(quit-process stop-process))
  (advice-add signal-sender :override (lambda (&rest _) (error "No signal here")) '((depth . 100))))

(defun brimel-test--shows (pattern &optional count)
  "Wait up to 10 s until the buffer shows PATTERN COUNT times (by default once)."
  (let ((deadline (+ (float-time) 10)))
    (while (and (< (how-many pattern (point-min) (point-max)) (or count 1))
                (< (float-time) deadline))
      (accept-process-output nil 0.05))
    (should (>= (how-many pattern (point-min) (point-max)) (or count 1)))))

(defun brimel-test--type (line)
  "Send LINE as comint does for a line typed at the end of the buffer."
  (goto-char (point-max))
  (insert line)
  (comint-send-input))

;; The quotes in what is typed keep it apart from what the shell answers.
(ert-deftest brimel-shell-in-a-buffer ()
  (with-current-buffer (brimel-shell (generate-new-buffer-name "*brimel-test*"))
    (let* ((window (or (get-buffer-window (current-buffer) t) (selected-window)))
           (size (format "%d %d" (window-body-height window) (window-body-width window))))
      (brimel-test--shows "[$#] ")
      (brimel-test--type "echo hel\"\"lo; tty; stty size")
      (brimel-test--shows (format "hello\n/dev/.*\n%s\n" size))
      (set-window-buffer (split-window window nil t) (get-buffer-create "*brimel-other*"))
      (window--adjust-process-windows) ; as a resized window's redisplay does
      (brimel-test--type "stty size")
      (brimel-test--shows (format "^%d %d$" (window-body-height window) (window-body-width window)))
      (set-process-coding-system (get-buffer-process (current-buffer)) 'latin-1 'latin-1)
      (brimel-test--type "echo \"\xff\" | od -An -tx1") ; the byte 0xFF, as data
      (brimel-test--shows "^ ff 0a$")
      (should (= (how-many "hel\"\"lo" (point-min) (point-max)) 1)) ; no echo besides comint's
      (should-not (string-match-p "\r" (buffer-string)))
      (brimel-test--type "sh -c 'echo sta\"\"rted; exec sleep 30'; echo not\"\" interrupted")
      (brimel-test--shows "started")
      (comint-interrupt-subjob)
      (brimel-test--type "sh -c 'echo qu\"\"itting; exec sleep 30'")
      (brimel-test--shows "quitting")
      (comint-quit-subjob)
      (brimel-test--type "sh -c 'echo rea\"\"dy; exec cat'")
      (brimel-test--shows "ready")
      (comint-stop-subjob)
      (brimel-test--shows "Stopped")
      (brimel-test--type "fg")
      (brimel-test--type "back again")
      (brimel-test--shows "^back again$" 2)
      (comint-send-eof)
      (brimel-test--type "exit 3")
      (brimel-test--shows "exited abnormally with code 3")
      (kill-buffer))))

(ert-deftest brimel-programs-through-the-relay-end-with-their-buffer ()
  (let ((brimel-programs '("sh")) (process-connection-type nil) ; as where Emacs has no ptys
        (deadline (+ (float-time) 10)) relay shell)
    (brimel-comint-mode 1)
    (unwind-protect
        (with-current-buffer (make-comint "brimel-mode-test" "sh" nil "-c" "tty")
          (brimel-test--shows "^/dev/"))
      (brimel-comint-mode -1))
    (with-current-buffer (brimel-comint-run "sh" '("-c" "tty; echo $$; sleep 30"))
      (setq relay (get-buffer-process (current-buffer)))
      (brimel-test--shows "^/dev/.*\n\\([0-9]+\\)")
      (setq shell (format "/proc/%s" (match-string 1)))
      (kill-buffer))
    (while (and (or (process-live-p relay) (file-exists-p shell)) (< (float-time) deadline))
      (accept-process-output nil 0.05))
    (should-not (or (process-live-p relay) (file-exists-p shell)))))

;;; brimel-tests.el ends here
